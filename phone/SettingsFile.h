// Reading and writing the settings record from and to the settings file, and which file that
// is. Runs on the logic thread only.
#pragma once

#include "phone/Settings.h"

#include <string>

namespace kel_util {
class IniFile;
}

class SettingsFile {
public:
    static constexpr const char* defaultName = "config.ini";

    // name is taken relative to exeDirectory unless it is an absolute path.
    SettingsFile(const std::string& name, const std::string& exeDirectory);

    // The directory of the running executable ("/proc/self/exe"); "." when it cannot be read.
    static std::string executableDirectory();
    // An absolute name as it is, any other name inside directory.
    static std::string resolve(const std::string& name, const std::string& directory);

    // Every field takes its default, then each key present in the file replaces it. A value that
    // does not parse keeps the default and is logged. A missing file gives the defaults.
    static Settings read(const kel_util::IniFile& ini);
    // Writes every key into ini, keeping what else it holds. The history lists of the full
    // window's call form are left alone when compactWindow is set.
    static void write(const Settings& settings, kel_util::IniFile& ini, bool compactWindow);

    // Loads the current file; false (logged, defaults kept) when it exists but cannot be read.
    bool load(Settings& settings) const;
    // Rewrites the current file in place; false (logged) when it cannot be written.
    bool save(const Settings& settings, bool compactWindow) const;
    // Loads the named file and makes it the current one. The file must exist and be readable;
    // otherwise false and nothing changes. The caller then applies the settings again.
    bool open(const std::string& name, Settings& settings);
    // Makes the named file the current one and saves into it; the current file stays as it was
    // when the save fails.
    bool saveAs(const std::string& name, const Settings& settings, bool compactWindow);

    const std::string& path() const { return path_; }

private:
    std::string exeDirectory_;
    std::string path_;
};
