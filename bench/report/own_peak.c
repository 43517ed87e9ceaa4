/* Loaded into qvrcompare-cli by the report bench (LD_PRELOAD): when the
 * program ends, writes its own peak resident memory (VmHWM, in KiB) to the
 * file named by QVR_OWN_PEAK_FILE. GNU time's figure would be the largest of
 * the program and every tool it waited for, and the checkout tool alone
 * grows with the checkout. The tools inherit the library and write nothing:
 * only a process named qvrcompare-cli does. The program ends through _Exit
 * (no destructors run), so that is where the figure is taken. */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

static void WriteOwnPeak(void) {
    const char* out = getenv("QVR_OWN_PEAK_FILE");
    char line[256];
    FILE* file;
    if (!out) return;
    file = fopen("/proc/self/comm", "r");
    if (!file) return;
    if (!fgets(line, sizeof line, file) || strncmp(line, "qvrcompare-cli", 14) != 0) {
        fclose(file);
        return;
    }
    fclose(file);
    file = fopen("/proc/self/status", "r");
    if (!file) return;
    while (fgets(line, sizeof line, file)) {
        if (strncmp(line, "VmHWM:", 6) == 0) {
            FILE* result = fopen(out, "w");
            if (result) {
                fprintf(result, "%ld\n", strtol(line + 6, NULL, 10));
                fclose(result);
            }
            break;
        }
    }
    fclose(file);
}

void _Exit(int status) {
    WriteOwnPeak();
    syscall(SYS_exit_group, status);
    for (;;) {
    }
}

__attribute__((destructor)) static void AtNormalExit(void) { WriteOwnPeak(); }
