#include "phone/SettingsFile.h"

#include "kel_util/Exception.h"
#include "kel_util/IniFile.h"
#include "kel_util/Log.h"
#include "phone/SettingsCodec.h"
#include "phone/SettingsFields.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <unistd.h>

using kel_util::IniFile;
using kel_util::logPrint;

namespace {

constexpr int maxHistoryLength = 100;

// Settings are read before logging starts (its own settings are among them): a value that is
// not taken is reported on standard error while nothing is logged, so that it is seen.
void reportIgnored(const std::string& text) {
    if (kel_util::isLogged(kel_util::MIN)) {
        logPrint(kel_util::MIN, "%s", text.c_str());
    } else {
        std::fputs(text.c_str(), stderr);
    }
}

int historyCount(int numOfHistory) {
    return numOfHistory < 0 ? 0 : std::min(numOfHistory, maxHistoryLength);
}

// Reads each key present in the file over the field's current (default) value.
class Reader {
public:
    explicit Reader(const IniFile& ini) : ini_(ini) {}

    void section(const char* name) { section_ = name; }

    void value(const std::string& key, std::string& field) {
        if (auto text = ini_.get(section_, key)) field = unquoteSettingText(*text);
    }
    void value(const std::string& key, bool& field) { parsed(key, field, parseSettingBool); }
    void value(const std::string& key, int& field) { parsed(key, field, parseSettingInt); }
    void value(const std::string& key, double& field) { parsed(key, field, parseSettingReal); }

    void escaped(const std::string& key, std::string& field) {
        if (auto text = ini_.get(section_, key)) field = unescapeLineBreaks(unquoteSettingText(*text));
    }

    template <class T>
    void sparse(const std::string& key, T& field, const T&) {
        value(key, field);
    }

    void color(const std::string& key, long& field) { parsed(key, field, parseSettingColor); }

    void history(const std::string& name, std::vector<std::string>& list, int count, bool) {
        list.clear();
        for (int i = 0; i < historyCount(count); ++i) {
            const auto entry = ini_.get(section_, name + std::to_string(i));
            if (!entry) continue;
            std::string text = unquoteSettingText(*entry);
            if (!text.empty()) list.push_back(std::move(text));
        }
    }

    void buddies(std::vector<Buddy>& list) {
        int size = 0;
        value("BuddyListSize", size);
        if (size < 0 || size > PresenceSettings::maxBuddies) {
            reportIgnored("SettingsFile::read. Invalid BuddyListSize=" + std::to_string(size) +
                          ", buddy list left empty.\n");
            size = 0;
        }
        list.assign(static_cast<std::size_t>(size), Buddy{});
        for (int i = 0; i < size; ++i) {
            value("BuddyUserID" + std::to_string(i), list[i].userID);
            value("BuddyDisplay" + std::to_string(i), list[i].display);
        }
    }

private:
    template <class T, class Parse>
    void parsed(const std::string& key, T& field, Parse parse) {
        const auto text = ini_.get(section_, key);
        if (!text) return;
        if (const auto result = parse(*text)) {
            field = *result;
        } else {
            reportIgnored(std::string("SettingsFile::read. Invalid value kept default, section=[") + section_ +
                          "], key=[" + key + "], value=[" + *text + "].\n");
        }
    }

    const IniFile& ini_;
    const char* section_ = "";
};

// Writes every key; the sparse keys are removed while at their default, so that a value set
// back to its default does not come back from the file at the next load.
class Writer {
public:
    Writer(IniFile& ini, bool compactWindow) : ini_(ini), compactWindow_(compactWindow) {}

    void section(const char* name) { section_ = name; }

    void value(const std::string& key, const std::string& field) { ini_.set(section_, key, quoteSettingText(field)); }
    void value(const std::string& key, bool field) { ini_.set(section_, key, field ? "1" : "0"); }
    void value(const std::string& key, int field) { ini_.set(section_, key, std::to_string(field)); }
    void value(const std::string& key, double field) { ini_.set(section_, key, formatSettingReal(field)); }

    void escaped(const std::string& key, const std::string& field) {
        ini_.set(section_, key, quoteSettingText(escapeLineBreaks(field)));
    }

    template <class T>
    void sparse(const std::string& key, const T& field, const T& defaultValue) {
        if (field == defaultValue) {
            ini_.remove(section_, key);
        } else {
            value(key, field);
        }
    }

    void color(const std::string& key, long field) {
        if (field == -1) {
            ini_.remove(section_, key);
        } else {
            ini_.set(section_, key, formatSettingColor(field));
        }
    }

    // Every slot up to count is written, empty ones too, so that no older entry survives.
    void history(const std::string& name, const std::vector<std::string>& list, int count, bool fullWindowOnly) {
        if (fullWindowOnly && compactWindow_) return;
        for (int i = 0; i < historyCount(count); ++i) {
            const auto index = static_cast<std::size_t>(i);
            value(name + std::to_string(i), index < list.size() ? list[index] : std::string());
        }
    }

    void buddies(const std::vector<Buddy>& list) {
        value("BuddyListSize", static_cast<int>(list.size()));
        for (std::size_t i = 0; i < list.size(); ++i) {
            value("BuddyUserID" + std::to_string(i), list[i].userID);
            value("BuddyDisplay" + std::to_string(i), list[i].display);
        }
    }

private:
    IniFile& ini_;
    bool compactWindow_;
    const char* section_ = "";
};

}  // namespace

SettingsFile::SettingsFile(const std::string& name, const std::string& exeDirectory)
    : exeDirectory_(exeDirectory), path_(resolve(name, exeDirectory)) {}

std::string SettingsFile::executableDirectory() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    const std::string path(buffer, static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string SettingsFile::resolve(const std::string& name, const std::string& directory) {
    if (!name.empty() && name.front() == '/') return name;
    if (!directory.empty() && directory.back() == '/') return directory + name;
    return directory + "/" + name;
}

Settings SettingsFile::read(const IniFile& ini) {
    Settings settings;
    Reader reader(ini);
    SettingsFields::visit(settings, reader);
    return settings;
}

void SettingsFile::write(const Settings& settings, IniFile& ini, bool compactWindow) {
    Writer writer(ini, compactWindow);
    SettingsFields::visit(settings, writer);
}

bool SettingsFile::load(Settings& settings) const {
    try {
        settings = read(IniFile::read(path_));
        logPrint(kel_util::DET, "SettingsFile::load. Loaded settings, path=[%s].\n", path_.c_str());
        return true;
    } catch (const kel_util::FileException& e) {
        logPrint(kel_util::MIN, "SettingsFile::load. Failed to read settings, %s.\n", e.toString().c_str());
        settings = Settings();
        return false;
    }
}

bool SettingsFile::save(const Settings& settings, bool compactWindow) const {
    try {
        IniFile ini = IniFile::read(path_);
        write(settings, ini, compactWindow);
        ini.write(path_);
        logPrint(kel_util::DET, "SettingsFile::save. Saved settings, path=[%s].\n", path_.c_str());
        return true;
    } catch (const kel_util::FileException& e) {
        logPrint(kel_util::MIN, "SettingsFile::save. Failed to write settings, %s.\n", e.toString().c_str());
        return false;
    }
}

bool SettingsFile::open(const std::string& name, Settings& settings) {
    const std::string path = resolve(name, exeDirectory_);
    if (::access(path.c_str(), R_OK) != 0) {
        logPrint(kel_util::MIN, "SettingsFile::open. Cannot read settings file, path=[%s].\n", path.c_str());
        return false;
    }
    try {
        settings = read(IniFile::read(path));
    } catch (const kel_util::FileException& e) {
        logPrint(kel_util::MIN, "SettingsFile::open. Failed to read settings, %s.\n", e.toString().c_str());
        return false;
    }
    path_ = path;
    return true;
}

bool SettingsFile::saveAs(const std::string& name, const Settings& settings, bool compactWindow) {
    const std::string previous = path_;
    path_ = resolve(name, exeDirectory_);
    if (save(settings, compactWindow)) return true;
    path_ = previous;
    return false;
}
