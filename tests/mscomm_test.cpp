#include "event_loop.h"
#include "mscomm.h"
#include "port_listing_unix.h"
#include "port_mapping.h"
#include "pseudo_terminal.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

namespace {

// Points COM1 at a device for the length of a test.
class PortMapping
{
public:
    explicit PortMapping(const QString& device) { qputenv("ZELVAX_COM1", device.toLocal8Bit()); }
    ~PortMapping() { qunsetenv("ZELVAX_COM1"); }
};

bool openOn(MSComm& port, const QString& device, const QString& settings = "9600,N,8,1")
{
    const PortMapping mapping(device);
    return port.setCommPort(1) && port.setSettings(settings) && port.setPortOpen(true);
}

QString readWhenAtLeast(MSComm& port, qint64 count)
{
    waitUntil([&] { return port.inBufferCount().value_or(-1) >= count; });
    return port.input().value_or(QStringLiteral("<failed>"));
}

class MSCommOnPseudoTerminal : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(line.isValid()) << "no pseudo-terminal on this machine"; }

    PseudoTerminal line;
    MSComm port;
};

struct PortOrderCase
{
    QStringList present;
    int port;
    QString expected;          // empty: no such port
    QStringList withoutUart{}; // on-board ports the kernel makes with no UART behind them
};

class PortOrder : public testing::TestWithParam<PortOrderCase>
{
};

TEST_P(PortOrder, CountsOnBoardPortsFirstThenTheOthersInNaturalOrder)
{
    // The kernel's view of each port: a UART type for every on-board port, 0 for an empty one.
    const QTemporaryDir sysfs;
    std::vector<PresentPort> present;
    for (const QString& name : GetParam().present) {
        present.push_back({name, QStringLiteral("/dev/") + name, QString()});
        if (!name.startsWith(QStringLiteral("ttyS")))
            continue;
        QDir(sysfs.path()).mkdir(name);
        QFile type(sysfs.filePath(name + QStringLiteral("/type")));
        ASSERT_TRUE(type.open(QIODevice::WriteOnly));
        type.write(GetParam().withoutUart.contains(name) ? "0\n" : "4\n");
    }
    const std::optional<PresentPort> chosen =
        numberedPort(GetParam().port, withHardware(present, sysfs.path()));
    EXPECT_EQ(chosen ? chosen->systemLocation : QString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, PortOrder,
    testing::Values(PortOrderCase{{"ttyUSB0", "ttyS1", "ttyS0"}, 1, "/dev/ttyS0"},
                    PortOrderCase{{"ttyUSB0", "ttyS10", "ttyS2"}, 2, "/dev/ttyS10"},
                    PortOrderCase{{"ttyUSB0", "ttyS1"}, 2, "/dev/ttyUSB0"},
                    PortOrderCase{{"ttyUSB10", "ttyUSB2", "ttyACM0"}, 2, "/dev/ttyUSB2"},
                    PortOrderCase{{"ttyUSB10", "ttyUSB2", "ttyACM0"}, 1, "/dev/ttyACM0"},
                    PortOrderCase{{"ttyUSB0"}, 2, ""}, PortOrderCase{{}, 1, ""},
                    PortOrderCase{{"ttyS0", "ttyS1", "ttyS2", "ttyS3", "ttyUSB0"},
                                  2,
                                  "/dev/ttyUSB0",
                                  {"ttyS1", "ttyS2", "ttyS3"}}));

TEST(PortMapping, TheEnvironmentNamesTheDeviceBeforeThePortsPresent)
{
    qputenv("ZELVAX_COM2", "/dev/ttyUSB7");
    const std::optional<PortDevice> device = deviceForPort(2);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->path, QStringLiteral("/dev/ttyUSB7"));
    qunsetenv("ZELVAX_COM2");
}

TEST(MSCommClosed, FailsEveryTransferAndRefusesBadRequests)
{
    MSComm port;
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(port.inBufferCount());
    EXPECT_FALSE(port.input());
    EXPECT_FALSE(port.setPortOpen(false)); // already closed
    EXPECT_FALSE(port.setCommPort(0));
    EXPECT_FALSE(port.setCommPort(17));
    EXPECT_FALSE(port.setSettings(QStringLiteral("9600,N,8")));
    EXPECT_FALSE(port.setSettings(QStringLiteral("fast")));
}

TEST(MSCommClosed, AMissingDeviceFailsToOpenAndStaysClosed)
{
    MSComm port;
    EXPECT_FALSE(openOn(port, QStringLiteral("/nonexistent/zelvax-line")));
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(port.inBufferCount());
    EXPECT_FALSE(port.input());
}

TEST_F(MSCommOnPseudoTerminal, ReceivesWhatArrivesInOrderAndEmptiesTheBuffer)
{
    ASSERT_TRUE(openOn(port, line.devicePath()));
    EXPECT_TRUE(port.portOpen());
    EXPECT_EQ(port.inBufferCount(), 0);
    EXPECT_EQ(port.input(), QString()); // nothing waits: empty, not a failure

    line.write("23.4\r\n");
    EXPECT_EQ(readWhenAtLeast(port, 6), QStringLiteral("23.4\r\n"));
    EXPECT_EQ(port.inBufferCount(), 0);

    line.write("2");
    EXPECT_EQ(readWhenAtLeast(port, 1), QStringLiteral("2"));
}

TEST_F(MSCommOnPseudoTerminal, TurnsEveryByteIntoTheCharacterOfThatValue)
{
    ASSERT_TRUE(openOn(port, line.devicePath(), QStringLiteral("19200,N,8,1")));
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(static_cast<char>(value));
    line.write(bytes);

    const QString received = readWhenAtLeast(port, bytes.size());
    ASSERT_EQ(received.size(), 256);
    for (int value = 0; value < 256; ++value)
        EXPECT_EQ(received[value].unicode(), value);
}

TEST_F(MSCommOnPseudoTerminal, RefusesChangesThatNeedAClosedPortAndClosesCleanly)
{
    ASSERT_TRUE(openOn(port, line.devicePath()));
    EXPECT_FALSE(port.setCommPort(2));
    EXPECT_FALSE(port.setPortOpen(true)); // already open
    EXPECT_TRUE(port.setSettings(QStringLiteral("19200,N,8,1")));

    EXPECT_TRUE(port.setPortOpen(false));
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(port.inBufferCount());
    EXPECT_FALSE(port.input());
    // And opens again.
    EXPECT_TRUE(openOn(port, line.devicePath()));
}

TEST_F(MSCommOnPseudoTerminal, BoundedBufferDeliversAFloodWithoutLoss)
{
    ASSERT_TRUE(openOn(port, line.devicePath(), QStringLiteral("19200,N,8,1")));
    QByteArray flood;
    for (int i = 0; i < 20000; ++i)
        flood.append(static_cast<char>('0' + i % 10));
    // The pseudo-terminal blocks a writer whose reader falls behind, so write from a thread.
    std::thread writer([&] { line.write(flood); });

    QString received;
    qint64 largestRead = 0;
    waitUntil(
        [&] {
            const QString chunk = port.input().value_or(QString());
            largestRead = std::max<qint64>(largestRead, chunk.size());
            received += chunk;
            return received.size() >= flood.size();
        },
        std::chrono::seconds(20));
    writer.join();

    EXPECT_EQ(received.toLatin1(), flood);
    EXPECT_LE(largestRead, MSComm::receiveBufferSize);
}

TEST_F(MSCommOnPseudoTerminal, ADeviceThatGoesAwayFailsLikeAClosedPortUntilReopened)
{
    ASSERT_TRUE(openOn(port, line.devicePath()));
    line.write("23.4\r\n");
    ASSERT_EQ(readWhenAtLeast(port, 6), QStringLiteral("23.4\r\n"));

    line.hangUp();
    EXPECT_TRUE(waitUntil([&] { return !port.inBufferCount().has_value(); }));
    EXPECT_FALSE(port.input());
    EXPECT_TRUE(port.deviceLost());

    // The line comes back as a new device; closing and opening resumes reception.
    PseudoTerminal replacement;
    ASSERT_TRUE(port.setPortOpen(false));
    ASSERT_TRUE(openOn(port, replacement.devicePath()));
    replacement.write("21.0\r\n");
    EXPECT_EQ(readWhenAtLeast(port, 6), QStringLiteral("21.0\r\n"));
}

} // namespace
