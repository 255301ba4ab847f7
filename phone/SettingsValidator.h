// The checks of the settings sheet, without the sheet: page by page, the first setting that
// breaks its rule and the message shown for it. Runs on the logic thread.
#pragma once

#include "phone/Settings.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The pages of the settings sheet, in the order they are checked.
enum class SettingsPage { Basic, Extension, Option, Sip, Log, Sound, CallPark, Presence, Natt, Header, Sdp, Filter };

struct SettingsFault {
    SettingsPage page = SettingsPage::Basic;
    std::string setting;  // the key, as in the settings file
    std::string message;  // shown to the operator; empty where the sheet shows none

    bool operator==(const SettingsFault&) const = default;
};

class SettingsValidator {
public:
    static constexpr SettingsPage pages[] = {SettingsPage::Basic,    SettingsPage::Extension, SettingsPage::Option,
                                             SettingsPage::Sip,      SettingsPage::Log,       SettingsPage::Sound,
                                             SettingsPage::CallPark, SettingsPage::Presence,  SettingsPage::Natt,
                                             SettingsPage::Header,   SettingsPage::Sdp,       SettingsPage::Filter};

    // The first failing setting of one page; nullopt when the page is valid.
    static std::optional<SettingsFault> checkPage(SettingsPage page, const Settings& settings);
    // The first failing setting of every page that fails, in page order; empty when all hold.
    static std::vector<SettingsFault> check(const Settings& settings);

    // A session-timer field of the sheet: empty is -1 (none), else digits for 0 to 2147483647,
    // compared as a number so that ten digits cannot overflow.
    static std::optional<int> parseSessionTimerField(std::string_view text);
};
