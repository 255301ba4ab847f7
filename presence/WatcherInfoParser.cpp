#include "presence/WatcherInfoParser.h"

#include "kel_util/TextUtil.h"

namespace {

bool isWatcher(const char* name, int length) {
    return kel_util::SimpleXMLParser::localName(kel_util::SimpleXMLParser::textOf(name, length)) == "watcher";
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
    const std::string_view attributeName = textOf(name, nameLength);
    if (attributeName == "id") {
        watcher_->id = textOf(value, valueLength);
    } else if (attributeName == "display-name") {
        watcher_->displayName = textOf(value, valueLength);
    }
}

void WatcherInfoParser::text(const char* element, int elementLength, const char* text, int textLength) {
    if (watcher_ && isWatcher(element, elementLength)) watcher_->uri = kel_util::trimLinearSpace(textOf(text, textLength));
}
