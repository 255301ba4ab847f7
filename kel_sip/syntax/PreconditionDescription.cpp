#include "kel_sip/syntax/PreconditionDescription.h"

namespace kel_sip {
namespace {

const char* const statusTypeWords[PreconditionDescription::statusTypeCount] = {"local", "remote", "e2e"};

// Values outside the enumeration (cast from settings) print as "unknown".
const char* strengthWord(PreconditionStrength strength) {
    static const char* const words[] = {"mandatory", "optional", "none", "failure", "unknown"};
    const int index = static_cast<int>(strength);
    return index >= 0 && index < 5 ? words[index] : "unknown";
}

// Null for Absent and for values outside the enumeration: no line is written.
const char* directionWord(PreconditionDirection direction) {
    static const char* const words[] = {nullptr, "none", "send", "recv", "sendrecv"};
    const int index = static_cast<int>(direction);
    return index >= 0 && index < 5 ? words[index] : nullptr;
}

using Directions = std::array<PreconditionDirection, PreconditionDescription::statusTypeCount>;
using Strengths = std::array<PreconditionStrength, PreconditionDescription::statusTypeCount>;

// "a=" tag ":qos " [strength " "] type " " direction CR LF for every present direction;
// only desired-status lines carry a strength.
void printStatusLines(std::string& out, const char* tag, const Directions& directions, const Strengths* strengths) {
    for (int type = 0; type < PreconditionDescription::statusTypeCount; ++type) {
        const char* direction = directionWord(directions[type]);
        if (direction == nullptr) continue;
        out += "a=";
        out += tag;
        out += ":qos ";
        if (strengths != nullptr) {
            out += strengthWord((*strengths)[type]);
            out += ' ';
        }
        out += statusTypeWords[type];
        out += ' ';
        out += direction;
        out += "\r\n";
    }
}

}  // namespace

void PreconditionDescription::print(std::string& out) const {
    printStatusLines(out, "des", desired, &strength);
    printStatusLines(out, "curr", current, nullptr);
    printStatusLines(out, "conf", confirmed, nullptr);
}

}  // namespace kel_sip
