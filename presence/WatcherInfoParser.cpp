#include "presence/WatcherInfoParser.h"

#include "kel_util/TextUtil.h"

namespace {

std::string_view view(const char* data, int length) { return std::string_view(data, static_cast<size_t>(length)); }

bool isWatcher(const char* name, int length) {
    return kel_util::SimpleXMLParser::localName(view(name, length)) == "watcher";
}

}  // namespace

bool WatcherInfoParser::parse(const char* text, int length) {
    watchers_.clear();
    watcher_.reset();
    return SimpleXMLParser::parse(text, length);
}

void WatcherInfoParser::startElement(const char* name, int nameLength) {
    if (isWatcher(name, nameLength)) watcher_.emplace();
}

void WatcherInfoParser::endElement(const char* name, int nameLength) {
    if (!isWatcher(name, nameLength) || !watcher_) return;
    watchers_.push_back(std::move(*watcher_));
    watcher_.reset();
}

void WatcherInfoParser::attribute(const char* element, int elementLength, const char* name, int nameLength,
                                  const char* value, int valueLength) {
    if (!watcher_ || !isWatcher(element, elementLength)) return;
    const std::string_view attributeName = view(name, nameLength);
    if (attributeName == "id") {
        watcher_->id = view(value, valueLength);
    } else if (attributeName == "display-name") {
        watcher_->displayName = view(value, valueLength);
    }
}

void WatcherInfoParser::text(const char* element, int elementLength, const char* text, int textLength) {
    if (watcher_ && isWatcher(element, elementLength)) watcher_->uri = kel_util::trimLinearSpace(view(text, textLength));
}
