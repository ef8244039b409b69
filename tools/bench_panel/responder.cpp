// ticora-bench-responder PORT IN OUT: the floor of the scan reaction in
// scripts/bench.sh. A bare libmosquitto client on 127.0.0.1:PORT that answers each
// message on IN with one on OUT, as the panel answers a scan with a sound request.

#include <mosquitto.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct Responder
{
    const char* in;
    const char* out;
};

int respond(int port, const char* in, const char* out)
{
    mosquitto_lib_init();
    Responder r { in, out };
    mosquitto* m = mosquitto_new(nullptr, true, &r);
    mosquitto_connect_callback_set(m, [](mosquitto* m, void* p, int rc) {
        if (rc == 0)
            mosquitto_subscribe(m, nullptr, static_cast<Responder*>(p)->in, 0);
    });
    mosquitto_subscribe_callback_set(
        m, [](mosquitto*, void*, int, int, const int*) { std::fprintf(stderr, "subscribed\n"); });
    mosquitto_message_callback_set(m, [](mosquitto* m, void* p, const mosquitto_message* msg) {
        static const char answer[] = "{\"device\":\"internal\",\"filepath\":\"valid.wav\"}";
        (void)msg;
        mosquitto_publish(m, nullptr, static_cast<Responder*>(p)->out, int(sizeof answer - 1), answer, 0, false);
    });
    if (mosquitto_connect(m, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "cannot connect to 127.0.0.1:%d\n", port);
        return 1;
    }
    const int rc = mosquitto_loop_forever(m, -1, 1);
    mosquitto_destroy(m);
    mosquitto_lib_cleanup();
    return rc == MOSQ_ERR_SUCCESS ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: ticora-bench-responder PORT IN OUT\n");
        return 2;
    }
    return respond(std::atoi(argv[1]), argv[2], argv[3]);
}
