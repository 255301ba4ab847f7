#include "SessionAnswerer.h"

#include <algorithm>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/transaction/SipTransactionControllerImpl.h"
#include "kel_sip/transport/SipUDPTransport.h"

namespace kel_sip::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

Answerer::Answerer(SipTransactionController& controller) : SipSessionController(controller) {
    init(1, "127.0.0.1");
    registerMethods({SipMethod::Invite, SipMethod::Ack, SipMethod::Bye, SipMethod::Cancel, SipMethod::Prack,
                     SipMethod::Update, SipMethod::Info});
    setTimerT1(kAnswererT1);
    setTimerT2(kAnswererT2);
}

Answerer::~Answerer() { clean(); }

bool Answerer::onSipSessionEvent(int event, SipSession& session, const SipMessageExt* message, int parameter) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
        if (event == kEventInvited) id_ = session.dialog().getId();
        changed_.notify_all();
    }
    return SipSessionController::onSipSessionEvent(event, session, message, parameter);
}

bool Answerer::waitForEvent(int event, int count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit,
                             [&] { return std::count(events_.begin(), events_.end(), event) >= count; });
}

std::vector<int> Answerer::events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

void Answerer::answer(const std::vector<int>& codes) {
    ASSERT_TRUE(waitForEvent(kEventInvited));
    for (const int code : codes) ASSERT_TRUE(respond(code, code >= 200 ? kAnswerSdp : "")) << code;
}

void Answerer::answerReInvite(int count, const char* direction) {
    ASSERT_TRUE(waitForEvent(kEventReInvited, count));
    ASSERT_TRUE(respond(200, std::string(kAnswerSdp) + "a=" + direction + "\r\n")) << direction;
}

void Answerer::reInvite(const char* direction) {
    const std::string offer = std::string(kAnswerSdp) + "a=" + direction + "\r\n";
    InviteOrder order;
    order.body = offer;
    ASSERT_TRUE(SipSessionController::reInvite(callId(), order));
}

bool Answerer::respond(int code, const std::string& body) {
    SessionResponse response;
    response.statusCode = code;
    response.contact = &contact;
    response.body = body;
    return respondSession(callId(), response);
}

int Answerer::callId() {
    std::lock_guard<std::mutex> lock(mutex_);
    return id_;
}

bool Answerer::waitForNoDialog() {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (getDialogCount() != 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

void receiveCall(const std::string& scenario, const std::function<void(Answerer&)>& drive,
                 const std::vector<int>& expected, const ReceiveOptions& options) {
    const fs::path dir = tessaly_interop::freshDirectory(scenario);
    SipTransactionControllerImpl controller(nullptr);
    Answerer answerer(controller);
    if (options.setup) options.setup(answerer);
    controller.setTimers(kAnswererT1, kAnswererT2, 500, 500);
    SipUDPTransport transport(controller, 0);
    ASSERT_TRUE(controller.init(2));
    ASSERT_TRUE(transport.open("127.0.0.1", 0, "127.0.0.1", AF_INET, false));
    ASSERT_TRUE(controller.addUDPTransport(&transport));
    const std::string port = std::to_string(transport.getLocalAddress().getPort());
    const std::string contact = "<sip:uas@127.0.0.1:" + port + ">";
    answerer.contact.parse(contact.data(), static_cast<int>(contact.size()), true);

    const std::string file = std::string(TESSALY_INTEROP_DIR) + "/" + scenario + ".xml";
    std::vector<std::string> args =
        tessaly_interop::sippArguments(TESSALY_SIPP, file, tessaly_interop::freeUdpPort(), dir);
    args.insert(args.begin() + 1, "127.0.0.1:" + port);
    const auto timeout = std::find(args.begin(), args.end(), "-timeout");
    if (timeout != args.end()) *(timeout + 1) = std::to_string(options.sippSeconds);
    tessaly_interop::ChildProcess sipp(args, dir / "sipp.out");
    ASSERT_TRUE(sipp.started());
    drive(answerer);

    const int status = sipp.waitExit(std::chrono::seconds(options.sippSeconds + 10));
    EXPECT_TRUE(answerer.waitForNoDialog()) << answerer.getDialogCount() << " dialogs left";
    EXPECT_EQ(answerer.events(), expected);
    transport.close();
    controller.clean();
    EXPECT_EQ(status, 0) << tessaly_interop::readText(dir / "errors.log")
                         << tessaly_interop::readText(dir / "messages.log");
    if (status == 0 && options.check) options.check(tessaly_interop::loggedMessages(dir / "messages.log"));
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

}  // namespace kel_sip::test
