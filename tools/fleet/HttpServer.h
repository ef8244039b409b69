#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTimer>

#include <functional>

#include <microhttpd.h>
class QSocketNotifier;

// A small HTTP server on libmicrohttpd, driven from the Qt event loop like the MQTT
// client: no threads of its own, the library's epoll descriptor watched by a socket
// notifier and its timeouts by a timer. Requests are bounded in body size, header size
// and connection count; the library answers malformed ones itself.
class HttpServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxBodyBytes = 16 * 1024;
    static constexpr int kMaxConnections = 256;
    // Per connection, request line and headers included.
    static constexpr int kConnectionMemoryBytes = 32 * 1024;
    // Text queued for a stream whose reader does not keep up; beyond it the stream is closed.
    static constexpr int kMaxStreamBacklogBytes = 4 * 1024 * 1024;

    struct Request
    {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> args; // the query's arguments, decoded
        QByteArray body;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QString peer; // the client's address
        QByteArray header(const char* name) const { return headers.value(QByteArray(name)); }
    };

    struct Response
    {
        int status = 200;
        QByteArray contentType = QByteArrayLiteral("application/json");
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
    };

    // A request the handler answers later, with answer(); 0 is no request.
    using Ticket = quint64;
    // Answers now (return a Response), later (call defer() and keep the ticket) or
    // with an event stream (call stream()).
    class Exchange
    {
    public:
        Ticket defer();
        void stream();

    private:
        friend struct HttpCallbacks;
        Ticket m_ticket = 0;
        bool m_deferred = false;
        bool m_stream = false;
    };
    using Handler = std::function<Response(const Request&, Exchange&)>;

    explicit HttpServer(Handler handler, QObject* parent = nullptr);
    ~HttpServer() override;

    // Port 0 picks a free one.
    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return m_port; }
    // False when the request is gone (the client left, or it was answered).
    bool answer(Ticket ticket, const Response& response);
    // Sends TEXT (already in event-stream form) to every open stream.
    void broadcast(const QByteArray& text);
    int streamCount() const { return m_streams.size(); }

private:
    struct Pending;
    struct Stream;

    void run();
    void scheduleRun();
    static Response tooLargeResponse();
    MHD_Result reply(Pending* pending, const Response& response);
    MHD_Result startStream(MHD_Connection* connection, const Response& response);

    friend struct HttpCallbacks;

    Handler m_handler;
    MHD_Daemon* m_daemon = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_timer;
    quint16 m_port = 0;
    Ticket m_nextTicket = 1;
    QHash<Ticket, Pending*> m_pending;
    QList<Stream*> m_streams;
    bool m_runQueued = false;
};
