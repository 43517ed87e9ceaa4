#pragma once
// The null-ended array of C strings that exec and spawn take for a child's
// arguments or environment, owning the texts it points into.

#include <string>
#include <utility>
#include <vector>

namespace qvr::testing {

class ArgumentVector {
public:
    explicit ArgumentVector(std::vector<std::string> texts) : m_texts(std::move(texts)) {
        for (auto& text : m_texts) m_pointers.push_back(text.data());
        m_pointers.push_back(nullptr);
    }
    // The program's name first, then its arguments.
    ArgumentVector(const std::string& program, const std::vector<std::string>& args)
        : ArgumentVector(WithProgram(program, args)) {}
    // The pointers point into the texts held here: never copied or moved.
    ArgumentVector(const ArgumentVector&) = delete;
    ArgumentVector& operator=(const ArgumentVector&) = delete;

    char** Data() { return m_pointers.data(); }

private:
    static std::vector<std::string> WithProgram(const std::string& program, const std::vector<std::string>& args) {
        std::vector<std::string> texts{program};
        texts.insert(texts.end(), args.begin(), args.end());
        return texts;
    }

    std::vector<std::string> m_texts;
    std::vector<char*> m_pointers;
};

}  // namespace qvr::testing
