// A command line cut into an argument vector for exec-style calls.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kel_util {

// Arguments are separated by SP or HT outside quoted stretches. A double or single quote that
// is not preceded by a backslash opens a stretch that runs to the next such quote of the same
// kind; the enclosing quotes are dropped, everything else (a quote of the other kind, a
// backslash) is kept. "a 'b c' \"d'e\"" gives a, b c, d'e.
class Arguments {
public:
    explicit Arguments(std::string_view commandLine);
    Arguments(const Arguments& other) : arguments_(other.arguments_) { buildVector(); }
    Arguments& operator=(const Arguments& other);
    Arguments(Arguments&&) noexcept = default;
    Arguments& operator=(Arguments&&) noexcept = default;

    int getCount() const { return static_cast<int>(arguments_.size()); }
    // getCount() C strings followed by a null pointer; valid while this object lives.
    char* const* getVector() const { return vector_.data(); }
    const std::vector<std::string>& getArguments() const { return arguments_; }

private:
    void buildVector();

    std::vector<std::string> arguments_;
    std::vector<char*> vector_;
};

}  // namespace kel_util
