#include "tools/quorvan/tool_args.h"

namespace qvr::quorvan {

namespace {

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool LooksLikeOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

const OptionRule* FindRule(const std::vector<OptionRule>& rules, const std::string& name) {
    for (const auto& rule : rules) {
        if (rule.name == name) return &rule;
    }
    return nullptr;
}

}  // namespace

std::string ParsedArgs::Value(const std::string& option, const std::string& fallback) const {
    auto it = values.find(option);
    return it == values.end() ? fallback : it->second;
}

bool ParseToolArgs(const std::vector<std::string>& args, const std::vector<OptionRule>& rules,
                   std::size_t maxPositionals, ParsedArgs& out, std::string& error) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!LooksLikeOption(arg)) {
            if (out.positionals.size() >= maxPositionals) {
                error = "Unexpected argument " + arg;
                return false;
            }
            out.positionals.push_back(arg);
            continue;
        }
        std::string name = LowerAscii(arg);
        const OptionRule* rule = FindRule(rules, name);
        if (!rule) {
            error = "Unknown option " + arg;
            return false;
        }
        if (out.values.count(name) || out.flags.count(name)) {
            error = "Option " + arg + " given more than once";
            return false;
        }
        if (!rule->takesValue) {
            out.flags.insert(name);
            continue;
        }
        if (i + 1 >= args.size()) {
            error = "Option " + arg + " needs a value";
            return false;
        }
        out.values[name] = args[++i];
    }
    return true;
}

bool FindOutputPath(const std::vector<std::string>& args, const std::vector<OptionRule>& rules,
                    std::string& path, std::string& error) {
    // Walk the list as the parser does, so a password such as "-o" given to
    // -pw is never taken for the output option.
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (!LooksLikeOption(args[i])) continue;
        std::string name = LowerAscii(args[i]);
        const OptionRule* rule = FindRule(rules, name);
        if (!rule || !rule->takesValue) continue;
        if (name != "-o") {
            ++i;
            continue;
        }
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            error = "Option -o needs a value";
            return false;
        }
        path = args[i + 1];
        return true;
    }
    error = "Missing option -o (output file)";
    return false;
}

std::string FirstMissing(const ParsedArgs& parsed, const std::vector<std::string>& required) {
    for (const auto& option : required) {
        if (!parsed.Has(option)) return option;
    }
    return "";
}

}  // namespace qvr::quorvan
