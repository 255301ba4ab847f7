// Reads a watcher information document (RFC 3857, RFC 3858): one WatcherInfo per "watcher"
// element, in document order. Names compare byte for byte, element names without their
// namespace prefix; every other element and attribute is ignored.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "kel_util/SimpleXMLParser.h"

struct WatcherInfo {
    std::string id;
    std::string displayName;
    // The watcher element's text: the watcher's URI.
    std::string uri;

    bool operator==(const WatcherInfo&) const = default;
};

class WatcherInfoParser : public kel_util::SimpleXMLParser {
public:
    // Reads a document into a fresh watchers(); the result of the walk
    // (SimpleXMLParser::parse). On failure the watchers read so far stay.
    bool parse(const char* text, int length);

    const std::vector<WatcherInfo>& watchers() const { return watchers_; }

protected:
    void startElement(const char* name, int nameLength) override;
    void endElement(const char* name, int nameLength) override;
    void attribute(const char* element, int elementLength, const char* name, int nameLength, const char* value,
                   int valueLength) override;
    void text(const char* element, int elementLength, const char* text, int textLength) override;

private:
    std::vector<WatcherInfo> watchers_;
    // The watcher element being read.
    std::optional<WatcherInfo> watcher_;
};
