#include "HttpServer.h"

#include <QSocketNotifier>

#include <microhttpd.h>

#include <arpa/inet.h>
#include <cstdarg>
#include <cstring>
#include <netinet/in.h>

// One per connection, from its request line to its end.
struct HttpServer::Pending
{
    Request request;
    MHD_Connection* connection = nullptr;
    Ticket ticket = 0;
    bool started = false;
    bool handled = false;
    bool tooLarge = false;
    bool suspended = false;
    bool answered = false;
    Response response;
};

// An open event stream: what is queued for it, and whether the library waits on it.
struct HttpServer::Stream
{
    HttpServer* server = nullptr;
    MHD_Connection* connection = nullptr;
    QByteArray backlog;
    bool suspended = false;
    bool closing = false;
};

HttpServer::Ticket HttpServer::Exchange::defer()
{
    m_deferred = true;
    return m_ticket;
}

void HttpServer::Exchange::stream() { m_stream = true; }

struct HttpCallbacks
{
    static MHD_Result collectHeader(void* cls, MHD_ValueKind, const char* key, const char* value)
    {
        auto* headers = static_cast<QHash<QByteArray, QByteArray>*>(cls);
        headers->insert(QByteArray(key).toLower(), QByteArray(value ? value : ""));
        return MHD_YES;
    }

    static MHD_Result collectArg(void* cls, MHD_ValueKind, const char* key, const char* value)
    {
        static_cast<QHash<QByteArray, QByteArray>*>(cls)->insert(QByteArray(key), QByteArray(value ? value : ""));
        return MHD_YES;
    }

    static MHD_Result onRequest(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
        const char* uploadData, size_t* uploadDataSize, void** context)
    {
        auto* server = static_cast<HttpServer*>(cls);
        auto* pending = static_cast<HttpServer::Pending*>(*context);
        if (!pending) {
            pending = new HttpServer::Pending;
            *context = pending;
            pending->connection = connection;
            pending->request.method = method;
            pending->request.path = url;
            MHD_get_connection_values(connection, MHD_HEADER_KIND, collectHeader, &pending->request.headers);
            MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, collectArg, &pending->request.args);
            const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
            if (info && info->client_addr)
                pending->request.peer = QHostAddress(info->client_addr).toString();
            bool ok = false;
            const qlonglong length = pending->request.header("content-length").toLongLong(&ok);
            if (ok && length > HttpServer::kMaxBodyBytes) {
                pending->tooLarge = true;
                return server->reply(pending, HttpServer::tooLargeResponse());
            }
            return MHD_YES;
        }
        if (*uploadDataSize > 0) {
            const int room = HttpServer::kMaxBodyBytes - pending->request.body.size();
            if (pending->tooLarge || int(qMin<size_t>(*uploadDataSize, INT_MAX)) > room)
                pending->tooLarge = true;
            else
                pending->request.body.append(uploadData, int(*uploadDataSize));
            *uploadDataSize = 0;
            return MHD_YES;
        }
        if (pending->answered)
            return server->reply(pending, pending->response);
        if (pending->handled)
            return MHD_YES; // resumed early; the answer is not there yet
        pending->handled = true;
        if (pending->tooLarge)
            return server->reply(pending, HttpServer::tooLargeResponse());

        HttpServer::Exchange exchange;
        exchange.m_ticket = server->m_nextTicket++;
        const HttpServer::Response response = server->m_handler(pending->request, exchange);
        if (exchange.m_stream)
            return server->startStream(connection, response);
        if (exchange.m_deferred) {
            pending->ticket = exchange.m_ticket;
            server->m_pending.insert(pending->ticket, pending);
            pending->suspended = true;
            MHD_suspend_connection(connection);
            return MHD_YES;
        }
        return server->reply(pending, response);
    }

    static void onCompleted(void* cls, MHD_Connection*, void** context, MHD_RequestTerminationCode)
    {
        auto* server = static_cast<HttpServer*>(cls);
        auto* pending = static_cast<HttpServer::Pending*>(*context);
        if (!pending)
            return;
        if (pending->ticket)
            server->m_pending.remove(pending->ticket);
        delete pending;
        *context = nullptr;
    }

    static ssize_t onStreamRead(void* cls, uint64_t, char* buf, size_t max)
    {
        auto* stream = static_cast<HttpServer::Stream*>(cls);
        if (stream->closing)
            return MHD_CONTENT_READER_END_WITH_ERROR;
        if (stream->backlog.isEmpty()) {
            // Nothing to send: the library stops polling this connection until broadcast().
            stream->suspended = true;
            MHD_suspend_connection(stream->connection);
            return 0;
        }
        const int n = int(qMin<size_t>(max, size_t(stream->backlog.size())));
        std::memcpy(buf, stream->backlog.constData(), size_t(n));
        stream->backlog.remove(0, n);
        return n;
    }

    static void onStreamFree(void* cls)
    {
        auto* stream = static_cast<HttpServer::Stream*>(cls);
        if (stream->server)
            stream->server->m_streams.removeOne(stream);
        delete stream;
    }

    static void log(void*, const char* format, va_list args)
    {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        qWarning("HTTP: %s", QByteArray(text).trimmed().constData());
    }
};

HttpServer::HttpServer(Handler handler, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler))
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, this, &HttpServer::run);
}

HttpServer::~HttpServer()
{
    if (!m_daemon)
        return;
    // The library may not be stopped with connections it no longer watches.
    for (Stream* stream : qAsConst(m_streams)) {
        stream->closing = true;
        stream->server = nullptr;
        if (stream->suspended)
            MHD_resume_connection(stream->connection);
    }
    m_streams.clear();
    for (Pending* pending : qAsConst(m_pending))
        if (pending->suspended)
            MHD_resume_connection(pending->connection);
    m_pending.clear();
    MHD_stop_daemon(m_daemon);
}

HttpServer::Response HttpServer::tooLargeResponse()
{
    return { 413, QByteArrayLiteral("application/json"),
        QByteArrayLiteral("{\"error\": \"request body larger than ") + QByteArray::number(kMaxBodyBytes)
            + QByteArrayLiteral(" bytes\"}\n"),
        {} };
}

bool HttpServer::listen(const QHostAddress& address, quint16 port)
{
    sockaddr_in v4 {};
    sockaddr_in6 v6 {};
    const sockaddr* where = nullptr;
    unsigned flags = MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        v4.sin_addr.s_addr = htonl(address.toIPv4Address());
        where = reinterpret_cast<const sockaddr*>(&v4);
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&v6.sin6_addr, &bytes, sizeof bytes);
        where = reinterpret_cast<const sockaddr*>(&v6);
        flags |= MHD_USE_IPv6;
    } else {
        return false;
    }
    // The logger goes first, or the library logs the options before it on its own.
    m_daemon
        = MHD_start_daemon(flags, port, nullptr, nullptr, &HttpCallbacks::onRequest, this, MHD_OPTION_EXTERNAL_LOGGER,
            &HttpCallbacks::log, nullptr, MHD_OPTION_SOCK_ADDR, where, MHD_OPTION_CONNECTION_LIMIT,
            unsigned(kMaxConnections), MHD_OPTION_PER_IP_CONNECTION_LIMIT, unsigned(kMaxConnections / 2),
            MHD_OPTION_CONNECTION_MEMORY_LIMIT, size_t(kConnectionMemoryBytes), MHD_OPTION_CONNECTION_TIMEOUT,
            unsigned(60), MHD_OPTION_NOTIFY_COMPLETED, &HttpCallbacks::onCompleted, this, MHD_OPTION_END);
    if (!m_daemon)
        return false;
    const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = info ? info->port : port;
    const MHD_DaemonInfo* epoll = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_EPOLL_FD);
    if (!epoll || epoll->epoll_fd < 0) {
        MHD_stop_daemon(m_daemon);
        m_daemon = nullptr;
        return false;
    }
    m_notifier = new QSocketNotifier(epoll->epoll_fd, QSocketNotifier::Read, this);
    QObject::connect(m_notifier, &QSocketNotifier::activated, this, &HttpServer::run);
    run();
    return true;
}

void HttpServer::run()
{
    m_runQueued = false;
    if (!m_daemon)
        return;
    MHD_run(m_daemon);
    MHD_UNSIGNED_LONG_LONG ms = 0;
    if (MHD_get_timeout(m_daemon, &ms) == MHD_YES)
        m_timer.start(int(qMin<MHD_UNSIGNED_LONG_LONG>(ms, 60000)));
    else
        m_timer.stop();
}

void HttpServer::scheduleRun()
{
    if (m_runQueued)
        return;
    m_runQueued = true;
    QTimer::singleShot(0, this, &HttpServer::run);
}

MHD_Result HttpServer::reply(Pending* pending, const Response& response)
{
    pending->answered = true;
    MHD_Response* r = MHD_create_response_from_buffer(
        size_t(response.body.size()), const_cast<char*>(response.body.constData()), MHD_RESPMEM_MUST_COPY);
    if (!r)
        return MHD_NO;
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, response.contentType.constData());
    for (const auto& header : response.headers)
        MHD_add_response_header(r, header.first.constData(), header.second.constData());
    const MHD_Result queued = MHD_queue_response(pending->connection, unsigned(response.status), r);
    MHD_destroy_response(r);
    return queued;
}

MHD_Result HttpServer::startStream(MHD_Connection* connection, const Response& response)
{
    auto* stream = new Stream;
    stream->server = this;
    stream->connection = connection;
    stream->backlog = response.body;
    MHD_Response* r = MHD_create_response_from_callback(
        MHD_SIZE_UNKNOWN, 16 * 1024, &HttpCallbacks::onStreamRead, stream, &HttpCallbacks::onStreamFree);
    if (!r) {
        delete stream;
        return MHD_NO;
    }
    m_streams.append(stream);
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, "text/event-stream");
    MHD_add_response_header(r, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    for (const auto& header : response.headers)
        MHD_add_response_header(r, header.first.constData(), header.second.constData());
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, r);
    MHD_destroy_response(r);
    return queued;
}

bool HttpServer::answer(Ticket ticket, const Response& response)
{
    Pending* pending = m_pending.take(ticket);
    if (!pending)
        return false;
    pending->ticket = 0;
    pending->answered = true;
    pending->response = response;
    if (pending->suspended) {
        pending->suspended = false;
        MHD_resume_connection(pending->connection);
    }
    scheduleRun();
    return true;
}

void HttpServer::broadcast(const QByteArray& text)
{
    for (Stream* stream : qAsConst(m_streams)) {
        if (stream->closing)
            continue;
        if (stream->backlog.size() + text.size() > kMaxStreamBacklogBytes) {
            // A reader this far behind is gone or stuck; it reconnects and loads the page's data again.
            qWarning("HTTP: an event stream fell %d bytes behind; closed", int(stream->backlog.size()));
            stream->closing = true;
            stream->backlog.clear();
        } else {
            stream->backlog.append(text);
        }
        if (stream->suspended) {
            stream->suspended = false;
            MHD_resume_connection(stream->connection);
        }
    }
    scheduleRun();
}
