// A header value's parameter list: ordered (name, value) pairs, names compared without case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kel_util/TextUtil.h"

namespace kel_util {

class HeaderField {
public:
    class Parameter {
    public:
        Parameter() = default;
        Parameter(std::string name, std::string value) : name(std::move(name)), value(std::move(value)) {}
        virtual ~Parameter() = default;
        Parameter(const Parameter&) = default;
        Parameter& operator=(const Parameter&) = default;
        Parameter(Parameter&&) noexcept = default;
        Parameter& operator=(Parameter&&) noexcept = default;

        bool operator==(const Parameter&) const = default;

        std::string name;
        std::string value;
    };

    HeaderField() = default;
    virtual ~HeaderField() = default;
    HeaderField(const HeaderField&) = default;
    HeaderField& operator=(const HeaderField&) = default;
    HeaderField(HeaderField&&) noexcept = default;
    HeaderField& operator=(HeaderField&&) noexcept = default;

    // Appends; false when name is null. A null value stores the empty string.
    bool addParameter(const char* name, const char* value);
    void addParameter(std::string_view name, std::string_view value);
    // Replaces the value (and the stored form of the name) of the first parameter whose name
    // matches without case, else appends.
    void setParameter(std::string_view name, std::string_view value);
    void copyParameters(const HeaderField& other);

    // The first parameter of that name (case-insensitive), or null.
    const Parameter* findParameter(std::string_view name) const;
    bool removeParameter(std::string_view name);
    void clearParameters() { parameters_.clear(); }

    const std::vector<Parameter>& getParameters() const { return parameters_; }

protected:
    std::vector<Parameter> parameters_;
};

// Locale-free ASCII case-insensitive equality. Inline: parameter, scheme and method names are
// compared this way many times per message, mostly against names of another length.
inline bool equalsIgnoreCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (toLowerAscii(a[i]) != toLowerAscii(b[i])) return false;
    }
    return true;
}

}  // namespace kel_util
