// The session-timer rules, each as a table: the headers of a request, the check of a received
// request, and the whole negotiation on each side from the headers exchanged to the instants
// at which the session timer and the refresh timer fire.
#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../../support/LogCapture.h"
#include "HeaderLines.h"
#include "kel_sip/usage/SessionTimerNegotiation.h"

namespace kel_sip::test {
namespace {

constexpr int kNone = SipSessionExpires::RefresherNone;
constexpr int kUac = SipSessionExpires::RefresherUac;
constexpr int kUas = SipSessionExpires::RefresherUas;
const SessionLogTag kTag{"Invited", 7};

SessionTimerParams params(int processType, int sessionExpires, bool refresher, int startType = 0, int minSE = 0) {
    SessionTimerParams p;
    p.processType = processType;
    p.sessionExpires = sessionExpires;
    p.refresher = refresher;
    p.startType = startType;
    p.minSE = minSE;
    return p;
}

SessionTimerParams switchedOff(SessionTimerParams p) {
    p.processSessionTimer = false;
    return p;
}

struct RequestCase { const char* what; SessionTimerParams params; SessionTimerOverrides given; std::string headers; };

TEST(SessionTimerNegotiation, RequestHeadersComeFromTheCallElseTheSession) {
    SessionTimerParams omitting = params(1, 1800, true, 0, 90);
    omitting.omitMinSE = true;
    const std::vector<RequestCase> cases = {
        {"type 0 sends nothing", params(0, 1800, true, 0, 90), {}, ""},
        {"type 1 refreshing", params(1, 1800, true, 0, 90), {}, "Supported: timer\nMin-SE: 90\nSession-Expires: 1800;refresher=uac"},
        {"type 2 not refreshing", params(2, 90, false), {}, "Require: timer\nSupported: timer\nSession-Expires: 90;refresher=uas"},
        {"omit Min-SE", omitting, {}, "Supported: timer\nSession-Expires: 1800;refresher=uac"},
        {"no interval", params(1, -1, false, 0, 90), {}, "Supported: timer\nMin-SE: 90"},
        {"the call's values win", params(0, 1800, true, 0, 90), {1, 120, 90, kUas},
         "Supported: timer\nMin-SE: 120\nSession-Expires: 90;refresher=uas"},
        {"unknown type given", params(1, 1800, true), {7, {}, {}, {}}, ""},
        {"off: the session's values are not used", switchedOff(params(2, 1800, true, 0, 90)), {}, ""},
        {"off: only the call's values", switchedOff(params(2, 1800, true, 0, 90)), {1, {}, 600, {}},
         "Supported: timer\nSession-Expires: 600"},
    };
    for (const RequestCase& c : cases) {
        HeaderList request;
        SessionTimerNegotiation(c.params).addRequestHeaders(c.given, request);
        EXPECT_EQ(printedLines(request), c.headers) << c.what;
    }
}

struct CheckCase {
    SessionTimerParams params;
    std::string request;
    int status;
    SessionTimerRequest asked;
    std::string log;  // the line logged, empty when none
};

TEST(SessionTimerNegotiation, ReceivedRequestIsCheckedAndHostileValuesRefused) {
    const std::vector<CheckCase> cases = {
        {params(0, -1, false), "Require: timer", 420, {2, 0, -1, kNone}, "Extension timer required but not supported"},
        {switchedOff(params(0, -1, false)), "Require: timer", 0, {2, 0, -1, kNone}, ""},
        {params(1, -1, false), "Supported: timer\nSession-Expires: 60\nMin-SE: 90", 422, {1, 90, 60, kNone},
         "SessionExpires too small"},
        {params(1, -1, false, 0, 90), "k: timer\nx: 60;refresher=uas\nMin-SE: 30", 422, {1, 90, 60, kUas},
         "SessionExpires too small"},
        {switchedOff(params(1, -1, false, 0, 90)), "Supported: timer\nSession-Expires: 60", 0, {1, 90, 60, kNone}, ""},
        {params(1, -1, false), "Supported: timer\nSession-Expires: 0\nMin-SE: 90", 0, {1, 90, 0, kNone}, ""},
        {params(1, -1, false), "Supported: timer\nSession-Expires: 1800;refresher=uac\nMin-SE: 90", 0,
         {1, 90, 1800, kUac}, ""},
        {params(1, -1, false), "Session-Expires: 60\nMin-SE: 90", 0, {0, 0, -1, kNone}, ""},
        {params(1, -1, false), "Supported: timer\nSession-Expires: 4294967295", 0, {1, 0, INT_MAX, kNone}, ""},
        {params(1, -1, false), "Supported: timer\nSession-Expires: 99999999999999999999", 400, {1, 0, -1, kNone},
         "Invalid Session-Expires"},
        {params(1, -1, false), "Require: timer\nSession-Expires: 90;refresher=both", 400, {2, 0, -1, kNone},
         "Invalid Session-Expires"},
        {params(1, -1, false), "Supported: timer\nSession-Expires: 90\nMin-SE: -5", 400, {1, 0, -1, kNone},
         "Invalid Min-SE"},
    };
    for (const CheckCase& c : cases) {
        tessaly_test::LogCapture log;
        HeaderList request = headerLines(c.request);
        const SessionTimerCheck check = SessionTimerNegotiation(c.params).checkRequest(request, kTag);
        const std::string logged = log.text();
        EXPECT_EQ(check.status, c.status) << c.request;
        if (c.log.empty()) {
            EXPECT_EQ(logged.find("SipSession::"), std::string::npos) << c.request << logged;
        } else {
            EXPECT_NE(logged.find("SipSession::procRequestedSessionTimerParams. " + c.log +
                                  ", SipSessionState=[Invited], id=7.\n"),
                      std::string::npos)
                << c.request << logged;
        }
        if (c.status == 400 || c.status == 420) {
            EXPECT_EQ(std::string(check.headerValue), c.status == 420 ? "timer" : c.log + " header") << c.request;
        }
        EXPECT_EQ(check.request.use, c.asked.use) << c.request;
        if (c.status == 420) continue;  // nothing else was read
        EXPECT_EQ(check.request.minSE, c.asked.minSE) << c.request;
        EXPECT_EQ(check.request.sessionExpires, c.asked.sessionExpires) << c.request;
        EXPECT_EQ(check.request.refresher, c.asked.refresher) << c.request;
    }
}

struct AnswerCase {
    SessionTimerParams params;
    SessionTimerOverrides given;
    std::string request;
    std::string response;  // the session-timer headers of the 2xx
    SessionTimerInstants instants;
};

TEST(SessionTimerNegotiation, AnsweringSideSendsTheAgreedTimerAndRunsIt) {
    SessionTimerParams forcing = params(1, 90, true, 1);
    forcing.forceRequireTimer = true;
    const std::string offered90 = "Supported: timer\nSession-Expires: 90";
    const std::vector<AnswerCase> cases = {
        // Start type 0 uses the timer only when the caller required it.
        {params(1, 1800, false, 0), {}, offered90 + ";refresher=uac", "Supported: timer", {0, 0}},
        {params(1, 1800, false, 0), {}, "Require: timer\n" + offered90,
         "Require: timer\nSession-Expires: 90;refresher=uac\nSupported: timer", {80, 0}},
        // Start type 1: when the caller supports it; the caller's refresher wins.
        {params(1, 1800, false, 1), {}, offered90 + ";refresher=uac",
         "Require: timer\nSession-Expires: 90;refresher=uac\nSupported: timer", {80, 0}},
        {params(1, 1800, false, 1), {}, offered90 + ";refresher=uas", "Session-Expires: 90;refresher=uas\nSupported: timer",
         {80, 45}},
        {params(1, 1800, true, 1), {}, offered90, "Session-Expires: 90;refresher=uas\nSupported: timer", {80, 45}},
        {params(1, 1800, false, 1), {}, "", "Supported: timer", {0, 0}},
        // Start type 2 always; a caller without the timer leaves the refreshing to this side.
        {params(1, 90, false, 2), {}, "", "Session-Expires: 90;refresher=uas\nSupported: timer", {80, 45}},
        {params(2, 1800, false, 2, 90), {}, "", "Require: timer\nSession-Expires: 1800;refresher=uas\nSupported: timer",
         {1790, 900}},
        {params(1, 1800, false, 1), {}, "Supported: timer\nSession-Expires: 20;refresher=uas",
         "Session-Expires: 20;refresher=uas\nSupported: timer", {14, 10}},
        {params(1, 1800, false, 1), {{}, {}, 60, kUas}, "Supported: timer\nMin-SE: 90",
         "Session-Expires: 90;refresher=uas\nSupported: timer", {80, 45}},
        {forcing, {}, offered90 + ";refresher=uas", "Require: timer\nSession-Expires: 90;refresher=uas\nSupported: timer",
         {80, 45}},
        {params(1, 90, true, 2), {0, {}, {}, {}}, offered90, "", {0, 0}},
        {switchedOff(params(1, 90, true, 2)), {}, offered90, "", {0, 0}},
    };
    for (const AnswerCase& c : cases) {
        SessionTimerNegotiation negotiation(c.params);
        HeaderList request = headerLines(c.request);
        const SessionTimerCheck check = negotiation.checkRequest(request, kTag);
        ASSERT_EQ(check.status, 0) << c.request;
        HeaderList response;
        negotiation.takeSent(negotiation.addSuccessHeaders(c.given, check.request, response));
        EXPECT_EQ(printedLines(response), c.response) << c.request;
        const SessionTimerInstants instants = negotiation.instants(0);
        EXPECT_EQ(instants.expirySeconds, c.instants.expirySeconds) << c.request;
        EXPECT_EQ(instants.refreshSeconds, c.instants.refreshSeconds) << c.request;
    }
}

struct OfferCase { SessionTimerParams params; std::string response; SessionTimerInstants instants; };

TEST(SessionTimerNegotiation, CallingSideTakesTheTimerOfThe2xx) {
    const SessionTimerParams refreshing = params(1, 90, true, 0, 90);
    const SessionTimerParams notRefreshing = params(1, 90, false, 0, 90);
    const std::vector<OfferCase> cases = {
        {refreshing, "Require: timer\nSession-Expires: 90;refresher=uac", {80, 45}},
        {refreshing, "Require: timer\nSession-Expires: 90;refresher=uas", {80, 0}},
        {notRefreshing, "Require: timer\nSession-Expires: 120", {110, 0}},
        {refreshing, "Require: timer\nSession-Expires: 120", {110, 60}},
        // Without "timer" in Require the start type decides.
        {refreshing, "Supported: timer\nSession-Expires: 90;refresher=uac", {0, 0}},
        {params(1, 90, true, 1, 90), "Supported: timer\nSession-Expires: 90;refresher=uac", {80, 45}},
        {params(1, 90, true, 1, 90), "", {0, 0}},
        {params(1, 90, true, 2, 90), "", {80, 45}},
        {params(2, 20, true, 0, 0), "Require: timer\nSession-Expires: 20;refresher=uac", {14, 10}},
        // Below the Min-SE sent the interval is raised; one that does not parse counts as absent.
        {refreshing, "Require: timer\nSession-Expires: 60;refresher=uac", {80, 45}},
        {params(1, 300, true, 0, 90), "Require: timer\nSession-Expires: 99999999999999999999", {290, 150}},
        {refreshing, "Require: timer\nSession-Expires: 4294967295;refresher=uac", {INT_MAX - 10, INT_MAX / 2}},
        {params(0, 90, true, 2, 90), "Require: timer\nSession-Expires: 90;refresher=uac", {0, 0}},
    };
    for (const OfferCase& c : cases) {
        SessionTimerNegotiation negotiation(c.params);
        HeaderList request;
        const SessionTimerValues sent = negotiation.addRequestHeaders({}, request);
        HeaderList response = headerLines(c.response);
        negotiation.takeSuccess(sent, response, kTag);
        const SessionTimerInstants instants = negotiation.instants(0);
        EXPECT_EQ(instants.expirySeconds, c.instants.expirySeconds) << c.response;
        EXPECT_EQ(instants.refreshSeconds, c.instants.refreshSeconds) << c.response;
    }
}

TEST(SessionTimerNegotiation, InstantsCountFromTheElapsedTime) {
    struct Case { int sessionExpires; bool refresher; std::int64_t elapsed; SessionTimerInstants instants; };
    const std::vector<Case> cases = {
        {90, true, 0, {80, 45}}, {90, true, 50, {30, 0}},  {90, true, 80, {0, 0}}, {30, false, 0, {20, 0}},
        {29, true, 0, {20, 14}}, {3, true, 0, {2, 1}},     {1, true, 0, {1, 0}},   {-1, true, 0, {0, 0}},
        {INT_MAX, true, -INT_MAX, {INT_MAX, INT_MAX}},
    };
    for (const Case& c : cases) {
        const SessionTimerInstants instants =
            SessionTimerNegotiation(params(1, c.sessionExpires, c.refresher)).instants(c.elapsed);
        EXPECT_EQ(instants.expirySeconds, c.instants.expirySeconds) << c.sessionExpires << " " << c.elapsed;
        EXPECT_EQ(instants.refreshSeconds, c.instants.refreshSeconds) << c.sessionExpires << " " << c.elapsed;
    }
}

}  // namespace
}  // namespace kel_sip::test
