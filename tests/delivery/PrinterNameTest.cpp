#include "job/delivery/PrinterName.h"

#include <gtest/gtest.h>

namespace kesto {
namespace {

using Kind = PrinterTarget::Kind;

TEST(PrinterName, APlainNameIsALocalQueueKeptAsWritten) {
    // Trailing blanks belong to the name: the spooler decides whether it exists.
    auto target = parsePrinterName("HP-GL plotter ");
    ASSERT_TRUE(target);
    EXPECT_EQ(target->kind, Kind::LocalQueue);
    EXPECT_EQ(target->queue, "HP-GL plotter ");
}

TEST(PrinterName, QueueAtHostNamesARemoteServerWithTheIppPortByDefault) {
    auto plain = parsePrinterName("plotter@print.example");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->kind, Kind::RemoteQueue);
    EXPECT_EQ(plain->queue, "plotter");
    EXPECT_EQ(plain->host, "print.example");
    EXPECT_EQ(plain->port, 631);

    auto withPort = parsePrinterName("plotter@127.0.0.1:8631");
    ASSERT_TRUE(withPort);
    EXPECT_EQ(withPort->host, "127.0.0.1");
    EXPECT_EQ(withPort->port, 8631);

    auto v6 = parsePrinterName("plotter@[::1]:8631");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host, "::1");
    EXPECT_EQ(v6->port, 8631);
}

TEST(PrinterName, SocketNamesGoToPort9100UnlessTheyGiveAPort) {
    auto plain = parsePrinterName("socket://10.0.0.7");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->kind, Kind::Socket);
    EXPECT_EQ(plain->host, "10.0.0.7");
    EXPECT_EQ(plain->port, 9100);

    auto withPort = parsePrinterName("socket://plotter.example:9101/");
    ASSERT_TRUE(withPort);
    EXPECT_EQ(withPort->host, "plotter.example");
    EXPECT_EQ(withPort->port, 9101);
}

TEST(PrinterName, NamesWithoutAHostOrWithABadPortAreRefused) {
    for (const char* bad : {"", "socket://", "socket://:9100", "socket://host:", "socket://host:0",
                            "socket://host:65536", "socket://host:91x", "@host", "queue@",
                            "queue@host:-1", "socket://[::1"})
        EXPECT_FALSE(parsePrinterName(bad)) << bad;
}

} // namespace
} // namespace kesto
