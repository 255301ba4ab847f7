#include "kel_util/Arguments.h"

namespace kel_util {
namespace {

bool isQuote(char c) { return c == '"' || c == '\''; }

}  // namespace

Arguments::Arguments(std::string_view commandLine) {
    std::string piece;
    bool inPiece = false;
    char quote = '\0';
    for (size_t i = 0; i < commandLine.size(); ++i) {
        const char c = commandLine[i];
        const bool escaped = i > 0 && commandLine[i - 1] == '\\';
        if (quote != '\0') {
            if (c == quote && !escaped) {
                quote = '\0';
            } else {
                piece += c;
            }
        } else if (c == ' ' || c == '\t') {
            if (inPiece) arguments_.push_back(std::move(piece));
            piece.clear();
            inPiece = false;
        } else {
            inPiece = true;
            if (isQuote(c) && !escaped) {
                quote = c;
            } else {
                piece += c;
            }
        }
    }
    if (inPiece) arguments_.push_back(std::move(piece));
    buildVector();
}

Arguments& Arguments::operator=(const Arguments& other) {
    if (this != &other) {
        arguments_ = other.arguments_;
        buildVector();
    }
    return *this;
}

void Arguments::buildVector() {
    vector_.clear();
    for (std::string& argument : arguments_) vector_.push_back(argument.data());
    vector_.push_back(nullptr);
}

}  // namespace kel_util
