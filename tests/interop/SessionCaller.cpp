#include "SessionCaller.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "ProgramSupport.h"
#include "kel_sip/syntax/SipMethod.h"

namespace kel_sip::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

Caller::Caller(SipTransactionController& controller) : SipSessionController(controller) {
    init(1, "127.0.0.1");
    registerMethods({SipMethod::Invite, SipMethod::Ack, SipMethod::Bye, SipMethod::Cancel, SipMethod::Prack,
                     SipMethod::Update, SipMethod::Info});
    setInitialLocalSeqNo(41);
}

Caller::~Caller() { clean(); }

bool Caller::onSipSessionEvent(int event, SipSession& session, const SipMessageExt* message, int parameter) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lastId_ = session.dialog().getId();
    }
    record(events_, event);
    return SipSessionController::onSipSessionEvent(event, session, message, parameter);
}

bool Caller::onSipSessionControllerEvent(int event, const SipMessageExt& message, int serverTransactionId) {
    if (!message.isRequest) record(orphanResponses_, message.cseq.getMethodKind());
    return SipSessionController::onSipSessionControllerEvent(event, message, serverTransactionId);
}

bool Caller::waitForEvent(int event, int count) { return waitFor(events_, event, count); }

bool Caller::waitForOrphanResponse(int methodKind) { return waitFor(orphanResponses_, methodKind, 1); }

std::vector<int> Caller::events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

int Caller::lastId() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastId_;
}

void Caller::record(std::vector<int>& list, int value) {
    std::lock_guard<std::mutex> lock(mutex_);
    list.push_back(value);
    changed_.notify_all();
}

bool Caller::waitFor(const std::vector<int>& list, int value, int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] { return std::count(list.begin(), list.end(), value) >= count; });
}

CallerStack::CallerStack(int t1) {
    controller_.setTimers(t1, 4 * t1, 500, 500);
    ready_ = controller_.init(2) && transport_.open("127.0.0.1", 0, "127.0.0.1", AF_INET, false) &&
             controller_.addUDPTransport(&transport_);
}

CallerStack::~CallerStack() {
    transport_.close();
    controller_.clean();
}

int CallerStack::port() { return transport_.getLocalAddress().getPort(); }

int CallerStack::invite(const std::string& target, int relProcessType, const SessionTimerOverrides& sessionTimer) {
    SipDialogStart start;
    start.requestUri.parse(target.data(), static_cast<int>(target.size()), true);
    start.localParty.parse("<sip:uac@127.0.0.1>", 19, true);
    start.remoteParty.parse(target.data(), static_cast<int>(target.size()), true);
    const std::string contact = "<sip:uac@127.0.0.1:" + std::to_string(port()) + ">";
    start.localContact.parse(contact.data(), static_cast<int>(contact.size()), true);
    InviteOrder order;
    order.relProcessType = relProcessType;
    order.sessionTimer = sessionTimer;
    order.body = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio 4002 RTP/AVP 0\r\n";
    return caller_.invite(start, order);
}

void call(const std::string& scenario, const std::function<void(Caller&, int)>& drive,
          const std::vector<int>& expected, int t1, int relProcessType) {
    const fs::path dir = tessaly_interop::freshDirectory(scenario);
    const int sippPort = tessaly_interop::freeUdpPort();
    const std::string file = std::string(TESSALY_INTEROP_DIR) + "/" + scenario + ".xml";
    tessaly_interop::ChildProcess sipp(tessaly_interop::sippArguments(TESSALY_SIPP, file, sippPort, dir),
                                       dir / "sipp.out");
    ASSERT_TRUE(sipp.started());
    int status = -1;
    std::vector<int> events;
    {
        CallerStack stack(t1);
        ASSERT_TRUE(stack.ready());
        // SIPp may still be starting: the INVITE client transaction retransmits until it answers.
        const int id = stack.invite("sip:uas@127.0.0.1:" + std::to_string(sippPort), relProcessType);
        ASSERT_GT(id, 0);
        drive(stack.caller(), id);
        status = sipp.waitExit(20s);
        events = stack.caller().events();
    }
    EXPECT_EQ(events, expected);
    EXPECT_EQ(status, 0) << tessaly_interop::readText(dir / "errors.log")
                         << tessaly_interop::readText(dir / "messages.log");
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

void acknowledge(Caller& caller, int id, int event, int count) {
    ASSERT_TRUE(caller.waitForEvent(event, count));
    ASSERT_TRUE(caller.acknowledge(id, {}));
}

}  // namespace kel_sip::test
