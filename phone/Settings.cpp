#include "phone/Settings.h"

const std::array<const char*, HeaderSettings::kindCount>& HeaderSettings::kinds() {
    // "UpdateRespons" has no final e: it is the key files in use carry.
    static const std::array<const char*, kindCount> names = {
        "Invite", "InviteResponse", "Ack",   "ReInvite",      "Register", "Subscribe",    "Transfer",
        "Park",   "Publish",        "PrAck", "PrAckResponse", "Update",   "UpdateRespons"};
    return names;
}

const std::array<const char*, SdpSettings::profileCount>& SdpSettings::profileNames() {
    static const std::array<const char*, profileCount> names = {"1st",
                                                                "2nd",
                                                                "hold",
                                                                "Invite",
                                                                "180",
                                                                "183",
                                                                "200",
                                                                "Ack",
                                                                "PrAck",
                                                                "PrAckResponse",
                                                                "EarlyUpdate",
                                                                "EarlyUpdateResponse",
                                                                "ReInviteResponse",
                                                                "18xProgram1",
                                                                "18xProgram2",
                                                                "18xProgram3",
                                                                "18xProgram4",
                                                                "18xProgram5",
                                                                "18xProgram6"};
    return names;
}

SdpProfile SdpSettings::defaultProfile(std::size_t index) {
    const std::string name = profileNames().at(index);
    SdpProfile profile;
    profile.setSDP = name == "1st" || name == "2nd" || name == "hold" || name == "Invite" || name == "200" ||
                     name == "EarlyUpdate" || name == "EarlyUpdateResponse";
    profile.incrementSDPOriginVersion = name == "1st" || name == "2nd" || name == "hold";
    profile.connectionPort = name == "1st" ? 8000 : name == "2nd" ? 8002 : -1;
    profile.connectionMode = name == "hold" ? 4 : 0;
    return profile;
}

SdpSettings::SdpSettings() {
    for (std::size_t i = 0; i < profileCount; ++i) profiles[i] = defaultProfile(i);
}
