// A minimal HTTP/1.1 client: one request per TCP connection, the whole response read into an
// HTTPMessage. Synchronous, on the caller's thread; every step is bounded by its time-out.
#pragma once

#include "kel_util/HTTPMessage.h"
#include "kel_util/RFC822HeaderList.h"
#include "kel_util/Socket.h"

#include <chrono>
#include <string>

namespace kel_util {

struct HTTPRequest {
    std::string host;
    // 0 or less means 80.
    int port = 0;
    std::string method;
    std::string requestURI;
    // "HTTP/1.1" when empty.
    std::string version;
    RFC822HeaderList headers;
    // No Content-Type header when empty.
    std::string contentType;
    std::string body;
};

// In seconds; a value below 1 is taken as 1, so that no step ever waits without limit.
struct HTTPTimeouts {
    int connectSec = 3;
    int sendSec = 3;
    int receiveSec = 3;
};

class HTTPConnection {
public:
    // Sends request and reads the response into response. Returns the response's status code;
    // 0 when the connection or the send failed; -1 on a socket failure while receiving; or
    // the negative HTTPMessage::ReceiveResult when the response did not arrive or parse.
    int doHTTPRequest(const HTTPRequest& request, const HTTPTimeouts& timeouts, HTTPMessage& response);

    // The request as sent: request line, HOST (HTTP/1.1 only), the headers, Content-Type
    // when given, Content-Length always, an empty line; the body follows it.
    static std::string printHead(const HTTPRequest& request);

private:
    bool openConnect(const std::string& host, int port);
    // The bytes sent, or 0 when the send timed out or failed.
    int sendRequest(const HTTPRequest& request);
    int receive(HTTPMessage& response);
    int sendAll(const std::string& data);

    Socket socket_;
    std::chrono::milliseconds connectTimeout_{3000};
    std::chrono::milliseconds sendTimeout_{3000};
    std::chrono::milliseconds receiveTimeout_{3000};
};

}  // namespace kel_util
