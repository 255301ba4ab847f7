#include "phone/UaDriver.h"

#include <chrono>
#include <fstream>
#include <iterator>

#include "kel_sip/usage/SipNotifier.h"
#include "kel_sip/usage/SipPublisher.h"
#include "kel_sip/usage/SipRegistrant.h"
#include "kel_sip/usage/SipSessionTypes.h"
#include "kel_sip/usage/SipSubscriber.h"
#include "phone/UserAgentEventParam.h"

namespace {

template <typename Field>
bool parseInto(Field& field, const std::string& text) {
    try {
        field.parse(text.data(), static_cast<int>(text.size()), true);
        return true;
    } catch (const kel_util::Throwable&) {
        return false;
    }
}

// The hook's word in an event line and the name of the event.
struct EventWords {
    const char* hook;
    const char* name;
    const char* idName;
};

EventWords wordsOf(int message, int type) {
    switch (message) {
        case WM_SIP_SESSION_EVENT: return {"session", kel_sip::sessionEventString(type), "dialog"};
        case WM_SIP_SUBSCRIBER_EVENT: return {"subscriber", kel_sip::subscriberEventString(type), "id"};
        case WM_SIP_REGISTRANT_EVENT: return {"registrant", kel_sip::registrantEventString(type), "id"};
        case WM_SIP_PUBLISHER_EVENT: return {"publisher", kel_sip::publisherEventString(type), "id"};
        case WM_SIP_NOTIFIER_EVENT: return {"notifier", kel_sip::notifierEventString(type), "dialog"};
        case WM_SIP_SESSION_DIALOG_EVENT:
            return {"dialog", kel_sip::sessionControllerEventString(type), "dialog"};
        default: return {"other", "", "id"};
    }
}

// An audio offer or answer on address, for calls whose script gives no SDP file.
std::string defaultSdp(const std::string& address) {
    return "v=0\r\no=- 1 1 IN IP4 " + address + "\r\ns=-\r\nc=IN IP4 " + address +
           "\r\nt=0 0\r\nm=audio 4000 RTP/AVP 0\r\n";
}

}  // namespace

UaDriver::UaDriver(std::FILE* out, int waitSeconds) : out_(out), waitSeconds_(waitSeconds) {}

UaDriver::~UaDriver() { stop(); }

bool UaDriver::start(const std::string& address, int port, std::string& error) {
    address_ = address;
    UserAgentStart start;
    start.window = &loop_;
    start.tcpWorkers = start.tcpHandlerWorkers = 0;
    start.hostName = address;
    start.sentByHost = address;
    start.bindAddress = address;
    start.udpPort = port;
    start.udpBindRetry = false;
    if (!loop_.start()) {
        error = "Failed to start the logic loop.";
        return false;
    }
    if (!agent_.init(start)) {
        error = agent_.initFailure();
        return false;
    }
    return true;
}

void UaDriver::stop() {
    agent_.clean();
    loop_.stop();
}

bool UaDriver::run(const UaCommand& command, bool& quit) {
    quit = false;
    switch (command.kind) {
        case UaCommandKind::Invite: return invite(command);
        case UaCommandKind::Answer: return answer(command);
        case UaCommandKind::Bye:
        case UaCommandKind::Cancel: return hangUp(command);
        case UaCommandKind::Wait: return wait(command);
        case UaCommandKind::Quit: quit = true; return true;
        default: writeLine("error: command not supported yet"); return false;
    }
}

bool UaDriver::invite(const UaCommand& command) {
    kel_sip::SipDialogStart start;
    const std::string local = "<" + localUri() + ">";
    if (!parseInto(start.requestUri, command.uri) || !parseInto(start.remoteParty, "<" + command.uri + ">") ||
        !parseInto(start.localParty, local) || !parseInto(start.localContact, local)) {
        writeLine("error: invite: invalid URI " + command.uri);
        return false;
    }
    std::string sdp = defaultSdp(address_);
    if (!command.file.empty()) {
        std::ifstream in(command.file, std::ios::binary);
        if (!in) {
            writeLine("error: invite: cannot read " + command.file);
            return false;
        }
        sdp.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    kel_sip::InviteOrder order;
    order.body = sdp;
    const int id = agent_.invite(start, order);
    if (id <= 0) {
        writeLine("error: invite: not sent");
        return false;
    }
    std::lock_guard lock(mutex_);
    latestDialog_ = id;
    return true;
}

bool UaDriver::answer(const UaCommand& command) {
    kel_sip::SessionResponse response;
    response.statusCode = command.code;
    response.reasonPhrase = command.reason;
    const std::string sdp = defaultSdp(address_);
    if (command.code >= 200 && command.code < 300) response.body = sdp;
    kel_sip::SipAddress contact;
    parseInto(contact, "<" + localUri() + ">");
    response.contact = &contact;
    const int id = dialogOf(command);
    if (!agent_.respondSession(id, response, false)) {
        writeLine("error: answer: dialog " + std::to_string(id) + " refused it");
        return false;
    }
    return true;
}

bool UaDriver::hangUp(const UaCommand& command) {
    const int id = dialogOf(command);
    if (!agent_.endSession(id, nullptr)) {
        writeLine("error: hang-up: dialog " + std::to_string(id) + " refused it");
        return false;
    }
    return true;
}

bool UaDriver::wait(const UaCommand& command) {
    const int seconds = command.seconds > 0 ? command.seconds : waitSeconds_;
    std::unique_lock lock(mutex_);
    const bool found = changed_.wait_for(lock, std::chrono::seconds(seconds), [&] {
        for (std::size_t i = waitedUpTo_; i < lines_.size(); ++i) {
            if (lines_[i].find(command.text) != std::string::npos) {
                waitedUpTo_ = i + 1;
                return true;
            }
        }
        return false;
    });
    lock.unlock();
    if (!found) writeLine("error: wait: no \"" + command.text + "\" within " + std::to_string(seconds) + " s");
    return found;
}

int UaDriver::dialogOf(const UaCommand& command) {
    if (command.target > 0) return command.target;
    std::lock_guard lock(mutex_);
    return latestDialog_;
}

void UaDriver::onMessage(int message, std::unique_ptr<LogicRecord> record) {
    const auto* event = dynamic_cast<const UserAgentEventParam*>(record.get());
    if (event == nullptr) return;
    const EventWords words = wordsOf(message, event->type);
    const std::string line = std::string("event ") + words.hook + " " + std::to_string(event->type) + " " +
                             words.name + " " + words.idName + "=" + std::to_string(event->id);
    {
        std::lock_guard lock(mutex_);
        if (message == WM_SIP_SESSION_EVENT && event->type == kel_sip::kEventInvited) latestDialog_ = event->id;
    }
    // A script has no ACK command: the 2xx of each INVITE this side sent is acknowledged here,
    // before the line lets a waiting script go on (its BYE must not overtake the ACK).
    const bool confirmed = event->type == kel_sip::kEventInvitingConfirmed ||
                           event->type == kel_sip::kEventReInvitingConfirmed;
    if (message == WM_SIP_SESSION_EVENT && confirmed && !agent_.acknowledge(event->id, {})) {
        writeLine("error: the ACK of dialog " + std::to_string(event->id) + " was not sent");
    }
    writeLine(line, true);
}

void UaDriver::writeLine(const std::string& line, bool isEvent) {
    std::lock_guard lock(mutex_);
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
    if (!isEvent) return;
    lines_.push_back(line);
    changed_.notify_all();
}
