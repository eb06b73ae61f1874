#include "delivery/PrinterName.h"

#include <gtest/gtest.h>

namespace kesto {
namespace {

using Kind = PrinterTarget::Kind;

TEST(PrinterName, NamesAQueueHereAQueueOnAServerOrAPlotterOnTheNetworkWithDefaultPorts) {
    struct Case {
        const char* name;
        Kind kind;
        const char* queue;
        const char* host;
        int port;
    };
    // Trailing blanks belong to a queue's name: the spooler decides whether it exists.
    for (const Case& c :
         {Case{"HP-GL plotter ", Kind::LocalQueue, "HP-GL plotter ", "", 0},
          Case{"plotter@print.example", Kind::RemoteQueue, "plotter", "print.example", 631},
          Case{"plotter@127.0.0.1:8631", Kind::RemoteQueue, "plotter", "127.0.0.1", 8631},
          Case{"plotter@[::1]:8631", Kind::RemoteQueue, "plotter", "::1", 8631},
          Case{"A1@plot@print.example", Kind::RemoteQueue, "A1@plot", "print.example", 631},
          Case{"socket://10.0.0.7:65535", Kind::Socket, "", "10.0.0.7", 65535},
          Case{"socket://10.0.0.7", Kind::Socket, "", "10.0.0.7", 9100},
          Case{"socket://plotter.example:9101/", Kind::Socket, "", "plotter.example", 9101}}) {
        const auto target = parsePrinterName(c.name);
        ASSERT_TRUE(target) << c.name;
        EXPECT_EQ(target->kind, c.kind) << c.name;
        EXPECT_EQ(target->queue, c.queue) << c.name;
        EXPECT_EQ(target->host, c.host) << c.name;
        EXPECT_EQ(target->port, c.port) << c.name;
    }
}

TEST(PrinterName, NamesWithoutAHostOrWithABadPortAreRefused) {
    for (const char* bad : {"", "socket://", "socket://:9100", "socket://host:", "socket://host:0",
                            "socket://host:65536", "socket://host:91x", "@host", "queue@",
                            "queue@host:-1", "socket://[::1"})
        EXPECT_FALSE(parsePrinterName(bad)) << bad;
}

} // namespace
} // namespace kesto
