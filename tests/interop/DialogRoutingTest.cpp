// Our dialog against SIPp as the answering side over UDP: SIPp's 200 records a loose or a
// strict route set, and SIPp checks on the wire that the ACK and BYE of the dialog carry the
// Request-URI and Route of RFC 3261 section 12.2.1.1 and reach it (the next hop of a strict
// route set is the strict router in the Request-URI, never the loose route after it).
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include <gtest/gtest.h>

#include "ProgramSupport.h"
#include "kel_sip/syntax/SipIdentifier.h"
#include "kel_sip/transaction/SipTransactionControllerImpl.h"
#include "kel_sip/transport/SipUDPTransport.h"
#include "kel_sip/usage/SipDialog.h"

namespace kel_sip::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A usage that hands every final response it receives to the test thread.
class CallingUser : public TransactionUserExt {
public:
    explicit CallingUser(SipTransactionController& controller) : TransactionUserExt(controller) { init(1, "127.0.0.1"); }
    ~CallingUser() override { clean(); }

    // The next final response to method, or null after limit.
    std::unique_ptr<SipMessageExt> nextFinal(const char* method, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        std::unique_ptr<SipMessageExt> found;
        arrived_.wait_for(lock, limit, [&] {
            while (!finals_.empty() && !found) {
                if (finals_.front()->getMethodName() == method) found = std::move(finals_.front());
                finals_.pop_front();
            }
            return found != nullptr;
        });
        return found;
    }

protected:
    bool procReceiveResponse(SipMessageSlot& response, int, EventLockGuard& eventLock) override {
        eventLock.release();
        if (response->statusCode < 200) return true;
        std::lock_guard<std::mutex> lock(mutex_);
        finals_.push_back(std::move(response));
        arrived_.notify_all();
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::unique_ptr<SipMessageExt>> finals_;
};

// Calls SIPp running scenario, acknowledges its 200 and ends the call in the dialog; SIPp's
// exit status tells whether the ACK and BYE were addressed as the scenario expects.
void callThrough(const std::string& scenario) {
    const fs::path dir = tessaly_interop::freshDirectory("dialog-" + scenario);
    const int sippPort = tessaly_interop::freeUdpPort();
    const std::string file = std::string(TESSALY_INTEROP_DIR) + "/" + scenario + ".xml";
    tessaly_interop::ChildProcess sipp(tessaly_interop::sippArguments(TESSALY_SIPP, file, sippPort, dir), dir / "sipp.out");
    ASSERT_TRUE(sipp.started());

    SipTransactionControllerImpl controller(nullptr);
    CallingUser user(controller);
    controller.setTimers(100, 400, 500, 500);
    SipUDPTransport transport(controller, 0);
    ASSERT_TRUE(controller.init(2));
    ASSERT_TRUE(transport.open("127.0.0.1", 0, "127.0.0.1", AF_INET, false));
    ASSERT_TRUE(controller.addUDPTransport(&transport));
    const std::string local = "127.0.0.1:" + std::to_string(transport.getLocalAddress().getPort());

    SipDialog dialog(user, controller);
    SipDialogStart start;
    start.callId = makeCallId("127.0.0.1");
    const std::string target = "sip:uas@127.0.0.1:" + std::to_string(sippPort);
    start.requestUri.parse(target.data(), static_cast<int>(target.size()), true);
    start.localParty.parse("<sip:uac@127.0.0.1>", 19, true);
    start.remoteParty.parse(target.data(), static_cast<int>(target.size()), true);
    const std::string contact = "<sip:uac@" + local + ">";
    start.localContact.parse(contact.data(), static_cast<int>(contact.size()), true);
    ASSERT_TRUE(dialog.createAsCaller(start));
    dialog.setId(1);
    dialog.setInitialLocalSeqNo(1);

    // SIPp may still be starting: the INVITE client transaction retransmits until it answers.
    const int inviteSeqNo = dialog.info().nextLocalSeqNo();
    auto invite = dialog.createRequest("INVITE", inviteSeqNo);
    ASSERT_GT(dialog.sendRequestTo(*invite, nullptr, false), 0);
    auto ok = user.nextFinal("INVITE", 10s);
    ASSERT_TRUE(ok) << tessaly_interop::readText(dir / "sipp.out");
    ASSERT_EQ(ok->statusCode, 200);
    ASSERT_TRUE(dialog.confirm(*ok));
    EXPECT_EQ(dialog.info().isStrictRouting(), scenario == "dialog_route_strict");

    auto ack = dialog.createRequest("ACK", inviteSeqNo);
    EXPECT_EQ(dialog.sendRequestTo(*ack, nullptr, dialog.info().isStrictRouting()), 0);
    ASSERT_TRUE(dialog.sendDialogRequest("BYE", {}, {}, nullptr));
    auto byeOk = user.nextFinal("BYE", 10s);
    ASSERT_TRUE(byeOk);
    EXPECT_EQ(byeOk->statusCode, 200);

    const int status = sipp.waitExit(20s);
    transport.close();
    controller.clean();
    EXPECT_EQ(status, 0) << tessaly_interop::readText(dir / "errors.log") << tessaly_interop::readText(dir / "messages.log");
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

TEST(DialogRouting, LooseRouteSetSendsToTheFirstRouteWithTheRemoteTargetAsRequestUri) { callThrough("dialog_route_loose"); }

TEST(DialogRouting, StrictRouteSetPutsTheStrictRouterInTheRequestUriAndSendsToIt) { callThrough("dialog_route_strict"); }

}  // namespace
}  // namespace kel_sip::test
