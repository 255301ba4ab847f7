#include "SessionCaller.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "ProgramSupport.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/transaction/SipTransactionControllerImpl.h"
#include "kel_sip/transport/SipUDPTransport.h"

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

void Caller::record(std::vector<int>& list, int value) {
    std::lock_guard<std::mutex> lock(mutex_);
    list.push_back(value);
    changed_.notify_all();
}

bool Caller::waitFor(const std::vector<int>& list, int value, int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] { return std::count(list.begin(), list.end(), value) >= count; });
}

void placeCall(int peerPort, InviteOrder order, const std::function<void(Caller&, int)>& drive,
               const std::vector<int>& expected, int t1) {
    SipTransactionControllerImpl controller(nullptr);
    Caller caller(controller);
    controller.setTimers(t1, 4 * t1, 500, 500);
    SipUDPTransport transport(controller, 0);
    ASSERT_TRUE(controller.init(2));
    ASSERT_TRUE(transport.open("127.0.0.1", 0, "127.0.0.1", AF_INET, false));
    ASSERT_TRUE(controller.addUDPTransport(&transport));

    SipDialogStart start;
    const std::string target = "sip:uas@127.0.0.1:" + std::to_string(peerPort);
    start.requestUri.parse(target.data(), static_cast<int>(target.size()), true);
    start.localParty.parse("<sip:uac@127.0.0.1>", 19, true);
    start.remoteParty.parse(target.data(), static_cast<int>(target.size()), true);
    const std::string contact = "<sip:uac@127.0.0.1:" + std::to_string(transport.getLocalAddress().getPort()) + ">";
    start.localContact.parse(contact.data(), static_cast<int>(contact.size()), true);
    if (order.body.empty())
        order.body = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio 4002 RTP/AVP 0\r\n";
    // The peer may still be starting: the INVITE client transaction retransmits until it answers.
    const int id = caller.invite(start, order);
    ASSERT_GT(id, 0);
    drive(caller, id);
    EXPECT_EQ(caller.events(), expected);
    transport.close();
    controller.clean();
}

void call(const std::string& scenario, const std::function<void(Caller&, int)>& drive,
          const std::vector<int>& expected, int t1, int relProcessType) {
    const fs::path dir = tessaly_interop::freshDirectory(scenario);
    const int sippPort = tessaly_interop::freeUdpPort();
    const std::string file = std::string(TESSALY_INTEROP_DIR) + "/" + scenario + ".xml";
    tessaly_interop::ChildProcess sipp(tessaly_interop::sippArguments(TESSALY_SIPP, file, sippPort, dir),
                                       dir / "sipp.out");
    ASSERT_TRUE(sipp.started());
    InviteOrder order;
    order.relProcessType = relProcessType;
    int status = -1;
    const auto driveThenWait = [&](Caller& caller, int id) {
        drive(caller, id);
        status = sipp.waitExit(20s);
    };
    placeCall(sippPort, order, driveThenWait, expected, t1);
    EXPECT_EQ(status, 0) << tessaly_interop::readText(dir / "errors.log")
                         << tessaly_interop::readText(dir / "messages.log");
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

void acknowledge(Caller& caller, int id, int event, int count) {
    ASSERT_TRUE(caller.waitForEvent(event, count));
    ASSERT_TRUE(caller.acknowledge(id, {}));
}

}  // namespace kel_sip::test
