// Parse+print throughput of Tessaly, sofia-sip and libosip2 on one in-memory corpus, in one
// run, single-threaded. Every message is first checked: each library must accept it and all
// three must agree on the method or status, Call-ID, CSeq and the number of Vias; only then
// is it timed. One unit of work is: a fresh message object, parse the bytes, print the whole
// message to text, free everything. libosip2 is forced to re-encode rather than hand back the
// text it cached while parsing.
//
//   bench_sip_parse_print [data dir] [seconds per library]
//
// The last line is "tessaly/sofia-sip = X.XX, tessaly/libosip2 = Y.YY".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <osipparser2/osip_parser.h>
#include <sofia-sip/msg.h>
#include <sofia-sip/sip.h>
#include <sofia-sip/sip_header.h>
#include <sofia-sip/su_alloc.h>

#include "kel_sip/syntax/SipMessage.h"

namespace {

// What the three libraries must agree on before a message is timed.
struct Summary {
    std::string methodOrStatus;
    std::string callId;
    std::string cseq;  // "<number> <method>"
    size_t vias = 0;

    bool operator==(const Summary&) const = default;
};

struct Sample {
    std::string name;
    std::string bytes;
};

// Parse and print once; false when the library refuses the message.
bool tessalyRun(const std::string& bytes, Summary* summary, size_t& printed) {
    kel_sip::SipMessage message;
    std::string reason;
    if (!message.parse(bytes.data(), static_cast<int>(bytes.size()), reason)) return false;
    const std::string text = message.toString();
    printed += text.size();
    if (summary != nullptr) {
        summary->methodOrStatus = message.isRequest ? std::string(message.getMethodName()) : std::to_string(message.statusCode);
        summary->callId = message.callId;
        summary->cseq = std::to_string(message.cseq.getNumber()) + " " + std::string(message.cseq.getMethodName());
        summary->vias = message.vias.size();
    }
    return true;
}

bool sofiaRun(const std::string& bytes, Summary* summary, size_t& printed) {
    msg_t* msg = msg_make(sip_default_mclass(), 0, bytes.data(), static_cast<ssize_t>(bytes.size()));
    if (msg == nullptr) return false;
    sip_t* sip = sip_object(msg);
    bool ok = sip != nullptr && sip->sip_error == nullptr && (sip->sip_request != nullptr || sip->sip_status != nullptr);
    if (ok) {
        size_t length = 0;
        char* text = msg_as_string(msg_home(msg), msg, nullptr, 0, &length);
        ok = text != nullptr;
        printed += length;
    }
    if (ok && summary != nullptr) {
        summary->methodOrStatus = sip->sip_request != nullptr ? sip->sip_request->rq_method_name
                                                              : std::to_string(sip->sip_status->st_status);
        summary->callId = sip->sip_call_id != nullptr ? sip->sip_call_id->i_id : "";
        summary->cseq = sip->sip_cseq != nullptr
                            ? std::to_string(sip->sip_cseq->cs_seq) + " " + sip->sip_cseq->cs_method_name
                            : "";
        for (sip_via_t* via = sip->sip_via; via != nullptr; via = via->v_next) ++summary->vias;
    }
    msg_destroy(msg);
    return ok;
}

bool osipRun(const std::string& bytes, Summary* summary, size_t& printed) {
    osip_message_t* sip = nullptr;
    if (osip_message_init(&sip) != 0) return false;
    bool ok = osip_message_parse(sip, bytes.data(), bytes.size()) == 0;
    if (ok) {
        osip_message_force_update(sip);
        char* text = nullptr;
        size_t length = 0;
        ok = osip_message_to_str(sip, &text, &length) == 0;
        printed += length;
        osip_free(text);
    }
    if (ok && summary != nullptr) {
        summary->methodOrStatus = MSG_IS_REQUEST(sip) ? sip->sip_method : std::to_string(sip->status_code);
        char* callId = nullptr;
        if (sip->call_id != nullptr && osip_call_id_to_str(sip->call_id, &callId) == 0) {
            summary->callId = callId;
            osip_free(callId);
        }
        if (sip->cseq != nullptr) summary->cseq = std::string(sip->cseq->number) + " " + sip->cseq->method;
        summary->vias = static_cast<size_t>(osip_list_size(&sip->vias));
    }
    osip_message_free(sip);
    return ok;
}

using Runner = bool (*)(const std::string&, Summary*, size_t&);

struct Library {
    const char* name;
    Runner run;
    double messagesPerSecond = 0;
};

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The typical messages of a call and a registration, then the valid messages of RFC 4475
// (section 3.1.1).
std::vector<Sample> candidates(const std::filesystem::path& dataDir) {
    std::vector<Sample> samples;
    for (const char* name : {"01-invite-sdp.sip", "03-ringing-180.sip", "04-ok-200-invite.sip", "10-register-auth.sip",
                             "06-bye.sip", "12-notify-pidf.sip"}) {
        samples.push_back({name, readFile(dataDir / "corpus" / name)});
    }
    for (const char* name : {"wsinv", "intmeth", "esc01", "escnull", "esc02", "lwsdisp", "longreq", "dblreq", "semiuri",
                             "transports", "mpart01", "unreason", "noreason"}) {
        samples.push_back({name, readFile(dataDir / "rfc4475" / (std::string(name) + ".dat"))});
    }
    return samples;
}

// Keeps the samples every library accepts with the same summary; the typical messages must
// all be kept.
std::vector<Sample> agreedCorpus(const std::vector<Sample>& samples, std::vector<Library>& libraries) {
    std::vector<Sample> corpus;
    for (size_t i = 0; i < samples.size(); ++i) {
        std::vector<Summary> summaries(libraries.size());
        bool agreed = true;
        for (size_t l = 0; l < libraries.size() && agreed; ++l) {
            size_t printed = 0;
            agreed = libraries[l].run(samples[i].bytes, &summaries[l], printed) && summaries[l] == summaries[0];
        }
        if (agreed) {
            corpus.push_back(samples[i]);
        } else if (i < 6) {
            std::fprintf(stderr, "typical message %s is not accepted alike by all three\n", samples[i].name.c_str());
            std::exit(1);
        }
    }
    return corpus;
}

// Messages per second over whole passes of the corpus for at least the given time.
double measure(const Library& library, const std::vector<Sample>& corpus, double seconds) {
    using Clock = std::chrono::steady_clock;
    size_t printed = 0;
    size_t messages = 0;
    const auto start = Clock::now();
    const auto until = start + std::chrono::duration<double>(seconds);
    do {
        for (const Sample& sample : corpus) {
            if (!library.run(sample.bytes, nullptr, printed)) std::abort();
        }
        messages += corpus.size();
    } while (Clock::now() < until);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (printed == 0) std::abort();
    return static_cast<double>(messages) / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path dataDir = argc > 1 ? argv[1] : TESSALY_BENCH_DATA_DIR;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 2.0;
    parser_init();
    // The messages the other libraries refuse would otherwise be logged on every check.
    for (int level = 0; level < END_TRACE_LEVEL; ++level) osip_trace_disable_level(static_cast<osip_trace_level_t>(level));
    std::vector<Library> libraries = {{"tessaly", tessalyRun}, {"sofia-sip", sofiaRun}, {"libosip2", osipRun}};

    const std::vector<Sample> corpus = agreedCorpus(candidates(dataDir), libraries);
    std::printf("corpus: %zu messages accepted alike by all three:", corpus.size());
    for (const Sample& sample : corpus) std::printf(" %s", sample.name.c_str());
    std::printf("\n");

    // Three rounds, interleaved so that the libraries share the machine's state; the best
    // round of each counts.
    for (int round = 0; round < 3; ++round) {
        for (Library& library : libraries) {
            library.messagesPerSecond = std::max(library.messagesPerSecond, measure(library, corpus, seconds / 3));
        }
    }
    for (const Library& library : libraries) {
        std::printf("%-10s %12.0f messages/s\n", library.name, library.messagesPerSecond);
    }
    std::printf("tessaly/sofia-sip = %.2f, tessaly/libosip2 = %.2f\n",
                libraries[0].messagesPerSecond / libraries[1].messagesPerSecond,
                libraries[0].messagesPerSecond / libraries[2].messagesPerSecond);
    return 0;
}
