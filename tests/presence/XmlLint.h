// Runs xmllint (Debian package libxml2-utils) over a document, as a peer that reads XML.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <memory>
#include <string>

#include "tests/support/TempDir.h"

namespace tessaly_test {

// xmllint's verdict on text: empty when it reads the document without a word of complaint
// (and, with a schema, validates it), else what it said. Namespace errors only print, so the
// output counts as well as the exit status.
inline std::string xmllintComplaints(const std::string& text, const std::string& schema = "") {
    TempDir dir;
    const std::string file = dir.file("document.xml");
    writeFile(file, text);
    std::string command = std::string("'") + TESSALY_XMLLINT + "' --noout --nonet";
    if (!schema.empty()) command += " --schema '" + schema + "'";
    command += " '" + file + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return "popen failed";
    std::string output;
    char buffer[512];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) output.append(buffer, got);
    const int status = pclose(pipe.release());
    // With a schema, xmllint reports success as "<file> validates".
    if (!schema.empty() && output == file + " validates\n") output.clear();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) output += "exit status " + std::to_string(status);
    return output;
}

}  // namespace tessaly_test
