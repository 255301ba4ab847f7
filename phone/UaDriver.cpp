#include "phone/UaDriver.h"

#include <chrono>
#include <fstream>
#include <iterator>

#include "kel_sip/syntax/HeaderList.h"
#include "kel_sip/syntax/SipIdentifier.h"
#include "kel_sip/usage/SipNotifier.h"
#include "kel_sip/usage/SipPublisher.h"
#include "kel_sip/usage/SipRegistrant.h"
#include "kel_sip/usage/SipSession.h"
#include "kel_sip/usage/SipSessionTypes.h"
#include "kel_sip/usage/SipSubscriber.h"
#include "phone/UserAgentEventParam.h"
#include "phone/UserAgentSettings.h"

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

bool readFile(const std::string& name, std::string& content) {
    std::ifstream in(name, std::ios::binary);
    if (!in) return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

const char* commandName(UaCommandKind kind) {
    static constexpr const char* kNames[] = {
        "invite",    "answer",      "bye",     "cancel",    "reinvite", "update",  "info", "refer",   "register",
        "unregister", "subscribe", "unsubscribe", "publish", "unpublish", "request", "wait", "quit"};
    return kNames[static_cast<int>(kind)];
}

// The usage word of an event line, the event's name and the reporting object's state.
struct EventWords {
    const char* usage;
    const char* name;
    std::string state;
};

EventWords wordsOf(int message, int type, int state) {
    switch (message) {
        case WM_SIP_SESSION_EVENT:
            return {"session", kel_sip::sessionEventString(type), kel_sip::sessionStateString(state)};
        case WM_SIP_SUBSCRIBER_EVENT: {
            kel_sip::SipSubscriber subscriber;
            subscriber.state = state;
            return {"subscriber", kel_sip::subscriberEventString(type), subscriber.stateString()};
        }
        case WM_SIP_REGISTRANT_EVENT:
            return {"registrant", kel_sip::registrantEventString(type), kel_sip::registrantStateString(state)};
        case WM_SIP_PUBLISHER_EVENT:
            return {"publisher", kel_sip::publisherEventString(type), kel_sip::publisherStateString(state)};
        // An in-call notifier event carries the notifier's kind, not a state with a name.
        case WM_SIP_NOTIFIER_EVENT: return {"notifier", kel_sip::notifierEventString(type), std::to_string(state)};
        case WM_SIP_SESSION_DIALOG_EVENT:
            return {"dialog", kel_sip::sessionControllerEventString(type), kel_sip::dialogStateString(state)};
        default: return {"other", "", std::to_string(state)};
    }
}

std::string eventLine(int message, const UserAgentEventParam& event) {
    const EventWords words = wordsOf(message, event.type, event.state);
    std::string line = std::string("event ") + words.usage + " id=" + std::to_string(event.id) +
                       " type=" + std::to_string(event.type) + " \"" + words.name + "\" state=\"" + words.state + "\"";
    if (event.message && !event.message->isRequest) line += " status=" + std::to_string(event.message->statusCode);
    if (!event.localTag.empty()) line += " tag=" + event.localTag;
    return line;
}

}  // namespace

bool UaDriverAgent::onSipSessionEvent(int event, kel_sip::SipSession& session, const kel_sip::SipMessageExt* message,
                                      int parameter) {
    if (event == kel_sip::kEventInfoed) {
        kel_sip::SessionResponse ok;
        ok.statusCode = 200;
        session.sendInfoResponse(ok);
    }
    return UserAgent::onSipSessionEvent(event, session, message, parameter);
}

UaDriver::UaDriver(std::FILE* out, int waitSeconds) : out_(out), waitSeconds_(waitSeconds) {}

UaDriver::~UaDriver() { stop(); }

bool UaDriver::start(const UaDriverOptions& options, std::string& error) {
    options_ = options;
    agent_.setProcess100rel(options.prack);
    UserAgentStart start;
    start.window = &loop_;
    if (!options.useTCP) start.tcpWorkers = start.tcpHandlerWorkers = 0;
    start.hostName = options.address;
    start.sentByHost = options.address;
    start.bindAddress = options.address;
    start.udpPort = options.udpPort;
    start.tcpPort = options.tcpPort;
    start.udpBindRetry = false;
    if (!loop_.start()) {
        error = "Failed to start the logic loop.";
        return false;
    }
    if (!agent_.init(start)) {
        error = agent_.initFailure();
        return false;
    }
    UserAgentSettings(agent_).setOutboundProxy(options.outboundProxy);
    return true;
}

void UaDriver::stop() {
    agent_.clean();
    loop_.stop();
}

void UaDriver::run(const UaCommand& command, bool& quit) {
    quit = command.kind == UaCommandKind::Quit;
    const Outcome outcome = dispatch(command);
    const std::string name = commandName(command.kind);
    if (!outcome.ok) {
        writeLine("error " + name + " " + outcome.reason);
    } else {
        writeLine("ok " + name + (outcome.id > 0 ? " " + std::to_string(outcome.id) : ""));
    }
}

void UaDriver::refuse(const std::string& reason) {
    // The reader names the command first ("bye: too many arguments").
    std::string line = "error " + reason;
    const auto colon = line.find(": ");
    if (colon != std::string::npos) line.erase(colon, 1);
    writeLine(line);
}

UaDriver::Outcome UaDriver::dispatch(const UaCommand& command) {
    switch (command.kind) {
        case UaCommandKind::Invite: return invite(command);
        case UaCommandKind::Answer: return answer(command);
        case UaCommandKind::Bye:
        case UaCommandKind::Cancel: return hangUp(command);
        case UaCommandKind::Reinvite: return reinvite(command);
        case UaCommandKind::Update: return update(command);
        case UaCommandKind::Info: return info(command);
        case UaCommandKind::Refer: return refer(command);
        case UaCommandKind::Register: return registerBinding(command);
        case UaCommandKind::Unregister: return unregister(command);
        case UaCommandKind::Subscribe: return subscribe(command);
        case UaCommandKind::Unsubscribe: return unsubscribe(command);
        case UaCommandKind::Publish: return publish(command);
        case UaCommandKind::Unpublish: return unpublish(command);
        case UaCommandKind::Request: return request(command);
        case UaCommandKind::Wait: return wait(command);
        case UaCommandKind::Quit: return {};
    }
    return failed("unknown command");
}

std::string UaDriver::sdp(const char* direction) const {
    const std::string& address = options_.address;
    return "v=0\r\no=- 1 1 IN IP4 " + address + "\r\ns=-\r\nc=IN IP4 " + address +
           "\r\nt=0 0\r\nm=audio 4000 RTP/AVP 0\r\na=" + direction + "\r\n";
}

bool UaDriver::dialogStart(const UaCommand& command, kel_sip::SipDialogStart& start) {
    const std::string local = "<" + localUri() + ">";
    if (!parseInto(start.requestUri, command.uri) || !parseInto(start.remoteParty, "<" + command.uri + ">") ||
        !parseInto(start.localParty, local) || !parseInto(start.localContact, local)) {
        return false;
    }
    return true;
}

UaDriver::Outcome UaDriver::invite(const UaCommand& command) {
    kel_sip::SipDialogStart start;
    if (!dialogStart(command, start)) return failed("invalid URI " + command.uri);
    std::string body = sdp();
    if (!command.file.empty() && !readFile(command.file, body)) return failed("cannot read " + command.file);
    kel_sip::InviteOrder order;
    order.relProcessType = options_.offer100rel;
    const int id = invites_.add({start, order, std::move(body)}, credentialsFor(command));
    if (id <= 0) return failed("not sent");
    remember(latestDialog_, id);
    return {true, id, {}};
}

UaDriver::Outcome UaDriver::answer(const UaCommand& command) {
    kel_sip::SessionResponse response;
    response.statusCode = command.code;
    response.reasonPhrase = command.reason;
    const std::string body = sdp();
    if (command.code >= 200 && command.code < 300) response.body = body;
    kel_sip::SipAddress contact;
    parseInto(contact, "<" + localUri() + ">");
    response.contact = &contact;
    const int id = targetOf(command, latestDialog_);
    return done(agent_.respondSession(id, response, false), id);
}

UaDriver::Outcome UaDriver::hangUp(const UaCommand& command) {
    const int id = targetOf(command, latestDialog_);
    return done(agent_.endSession(id, nullptr), id);
}

UaDriver::Outcome UaDriver::reinvite(const UaCommand& command) {
    const int id = targetOf(command, latestDialog_);
    // Hold is an offer that only sends (RFC 3264 section 8.4); resume makes it both ways again.
    const std::string body = sdp(command.holdChange == UaHoldChange::Hold ? "sendonly" : "sendrecv");
    kel_sip::InviteOrder order;
    order.body = body;
    return done(agent_.reInvite(id, order), id);
}

UaDriver::Outcome UaDriver::update(const UaCommand& command) {
    const int id = targetOf(command, latestDialog_);
    const std::string body = sdp();
    kel_sip::UpdateOrder order;
    order.body = body;
    return done(agent_.update(id, order), id);
}

UaDriver::Outcome UaDriver::info(const UaCommand& command) {
    const int id = targetOf(command, latestDialog_);
    return done(agent_.sendDialogRequest(id, "INFO", command.body, command.contentType, nullptr), id);
}

UaDriver::Outcome UaDriver::refer(const UaCommand& command) {
    const int id = targetOf(command, latestDialog_);
    kel_sip::SipReferTo referTo;
    if (!parseInto(referTo, "<" + command.uri + ">")) return failed("invalid URI " + command.uri);
    if (command.replacedDialog > 0) return done(agent_.transfer(id, referTo, command.replacedDialog), id);
    kel_sip::SubscriptionOrder order;
    order.event = kel_sip::SipEvent("refer");
    return done(agent_.SipSessionController::refer(id, referTo, nullptr, order), id);
}

UaDriver::Outcome UaDriver::registerBinding(const UaCommand& command) {
    kel_sip::SipRegistrantStart start;
    if (!parseInto(start.usage.requestUri, command.uri)) return failed("invalid URI " + command.uri);
    if (!parseInto(start.usage.addressOfRecord, "<" + command.addressOfRecord + ">")) {
        return failed("invalid AOR " + command.addressOfRecord);
    }
    parseInto(start.contact, "<" + localUri() + ">");
    start.registration.expires = command.expires;
    const int id = registrations_.add(start, credentialsFor(command));
    if (id <= 0) return failed("not sent");
    remember(latestRegistration_, id);
    return {true, id, {}};
}

UaDriver::Outcome UaDriver::unregister(const UaCommand& command) {
    const int id = targetOf(command, latestRegistration_);
    return done(registrations_.remove(id), id);
}

UaDriver::Outcome UaDriver::subscribe(const UaCommand& command) {
    kel_sip::SipDialogStart start;
    if (!dialogStart(command, start)) return failed("invalid URI " + command.uri);
    kel_sip::SubscriptionOrder order;
    if (!parseInto(order.event, command.event)) return failed("invalid EVENT " + command.event);
    order.expires = command.expires;
    const int id = subscriptions_.add({start, order, &loop_}, credentialsFor(command));
    if (id <= 0) return failed("not sent");
    remember(latestSubscription_, id);
    return {true, id, {}};
}

UaDriver::Outcome UaDriver::unsubscribe(const UaCommand& command) {
    const int id = targetOf(command, latestSubscription_);
    return done(subscriptions_.remove(id), id);
}

UaDriver::Outcome UaDriver::publish(const UaCommand& command) {
    kel_sip::SipPublisherStart start;
    if (!parseInto(start.usage.requestUri, command.uri) ||
        !parseInto(start.usage.addressOfRecord, "<" + command.uri + ">")) {
        return failed("invalid URI " + command.uri);
    }
    start.eventPackage = command.event;
    start.publication.expires = command.expires;
    if (!readFile(command.file, start.publication.body)) return failed("cannot read " + command.file);
    // A presence document (RFC 3863) for the presence package, plain text for any other.
    start.publication.contentType = command.event == "presence" ? "application/pidf+xml" : "text/plain";
    const int id = publications_.add({start, &loop_}, credentialsFor(command));
    if (id <= 0) return failed("not sent");
    remember(latestPublication_, id);
    return {true, id, {}};
}

UaDriver::Outcome UaDriver::unpublish(const UaCommand& command) {
    const int id = targetOf(command, latestPublication_);
    return done(publications_.remove(id), id);
}

UaDriver::Outcome UaDriver::request(const UaCommand& command) {
    OutOfDialogRequest request;
    request.method = command.method;
    const std::string local = "<" + localUri() + ">";
    if (!parseInto(request.requestUri, command.uri) || !parseInto(request.to, "<" + command.uri + ">") ||
        !parseInto(request.from, local)) {
        return failed("invalid URI " + command.uri);
    }
    // Every request needs a Call-ID and a From tag of its own (RFC 3261 section 8.1.1).
    request.callId = kel_sip::makeCallId(options_.address);
    request.from.tag = kel_sip::makeTag();
    std::string lines;
    for (const std::string& line : command.headerLines) lines += line + "\r\n";
    kel_sip::HeaderList headers;
    if (!lines.empty() && !headers.parse(lines.data(), static_cast<int>(lines.size()), true)) {
        return failed("invalid header line");
    }
    request.headers = &headers;
    return done(agent_.sendSipRequest(request, 0));
}

UaDriver::Outcome UaDriver::wait(const UaCommand& command) {
    const int seconds = command.seconds > 0 ? command.seconds : waitSeconds_;
    std::unique_lock lock(mutex_);
    const bool found = changed_.wait_for(lock, std::chrono::seconds(seconds), [&] {
        // A text is one word of a command line: it never holds the newline between two lines.
        const std::size_t match = lines_.find(command.text);
        if (match == std::string::npos) return false;
        // The next wait looks only at what comes after the line it matched.
        lines_.erase(0, lines_.find('\n', match) + 1);
        return true;
    });
    return found ? Outcome{} : failed("timeout");
}

int UaDriver::targetOf(const UaCommand& command, const int& latest) {
    if (command.target > 0) return command.target;
    std::lock_guard lock(mutex_);
    return latest;
}

void UaDriver::remember(int& latest, int id) {
    std::lock_guard lock(mutex_);
    latest = id;
}

kel_sip::AuthenticateData UaDriver::credentialsFor(const UaCommand& command) const {
    if (!command.user.empty() || !command.password.empty()) return {command.user, command.password};
    return {options_.user, options_.password};
}

void UaDriver::onMessage(int message, std::unique_ptr<LogicRecord> record) {
    const auto* event = dynamic_cast<const UserAgentEventParam*>(record.get());
    if (event == nullptr) return;
    if (message == WM_SIP_SESSION_EVENT && event->type == kel_sip::kEventInvited) remember(latestDialog_, event->id);
    // The ACK goes out before the line lets a waiting script go on: its BYE must not overtake it.
    followUp(message, *event);
    writeLine(eventLine(message, *event), true);
}

void UaDriver::followUp(int message, const UserAgentEventParam& event) {
    if (message == WM_SIP_SESSION_DIALOG_EVENT) return respondInDialog(event);
    if (message == WM_SIP_REGISTRANT_EVENT) {
        registrations_.answerChallenge(event.id, event.type, event.message.get());
        return;
    }
    if (message == WM_SIP_SUBSCRIBER_EVENT) {
        subscriptions_.answerChallenge(event.id, event.type, event.message.get());
        return;
    }
    if (message == WM_SIP_PUBLISHER_EVENT) {
        publications_.answerChallenge(event.id, event.type, event.message.get());
        return;
    }
    if (message != WM_SIP_SESSION_EVENT) return;
    if (const int retry = invites_.answerChallenge(event.id, event.type, event.message.get()); retry > 0) {
        remember(latestDialog_, retry);
    }
    switch (event.type) {
        case kel_sip::kEventInvitingConfirmed:
        case kel_sip::kEventReInvitingConfirmed:
            if (!agent_.acknowledge(event.id, {})) writeLine("error ack dialog " + std::to_string(event.id));
            break;
        case kel_sip::kEventInvited:
            if (options_.answerCode > 0) answerIncoming(event.id);
            break;
        default: break;
    }
}

void UaDriver::answerIncoming(int id) {
    UaCommand ringing;
    ringing.target = id;
    ringing.code = 180;
    UaCommand final = ringing;
    final.code = options_.answerCode;
    for (const UaCommand* step : {&ringing, &final}) {
        const Outcome outcome = answer(*step);
        if (!outcome.ok) writeLine("error answer " + std::to_string(step->code) + " " + outcome.reason);
    }
}

// A request the call usage leaves to us (a method it does not handle inside the call): 200.
void UaDriver::respondInDialog(const UserAgentEventParam& event) {
    if (!event.message || !event.message->isRequest) return;
    const auto response = event.message->createResponse(200, "OK", false);
    if (!response || !agent_.respondSipSessionDialog(event.id, *response)) {
        writeLine("error respond dialog " + std::to_string(event.id));
    }
}

void UaDriver::writeLine(const std::string& line, bool isEvent) {
    std::lock_guard lock(mutex_);
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
    if (!isEvent) return;
    lines_ += line;
    lines_ += '\n';
    // Dropped in halves, so that a line costs no copy of the whole buffer.
    if (lines_.size() > 2 * kKeptBytes) lines_.erase(0, lines_.find('\n', lines_.size() - kKeptBytes) + 1);
    changed_.notify_all();
}
