// RTU transport through the request engine: what goes on the line, when an
// answer is recognised, which answers fail, broadcasts, time-outs and the
// transport pool. The test plays the slave on the master side of a pty pair.
#include <gtest/gtest.h>

#include "port_test_support.h"

using namespace testing_support;
using ups::MasterInstance;

namespace {

// Plays one exchange in a thread: reads a request of the given length, then
// writes the answer (none for a silent slave).
class SlaveTurn {
public:
    SlaveTurn(PtyPair& pty, size_t requestLength, std::vector<uint8_t> answer)
        : m_thread([this, &pty, requestLength, answer] {
              request = pty.read(requestLength, 5000);
              answeredAt = nowMs();
              if (!answer.empty()) pty.write(answer);
          }) {}
    ~SlaveTurn() { join(); }
    void join() {
        if (m_thread.joinable()) m_thread.join();
    }
    // Valid after join().
    std::vector<uint8_t> request;
    uint64_t answeredAt = 0;

private:
    std::thread m_thread;
};

std::vector<uint8_t> readRequest(uint8_t slave, uint16_t address, uint8_t count) {
    return withCrc({slave, 3, (uint8_t)(address >> 8), (uint8_t)address, 0, count});
}

// 300 bytes from slave 1 that never look like a complete frame.
std::vector<uint8_t> overlongAnswer() {
    std::vector<uint8_t> bytes(300);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = (uint8_t)(i * 13 + 5);
    bytes[0] = 1;
    bytes[1] = 3;
    bytes[2] = 0xFF;
    return bytes;
}

class RtuTest : public ::testing::Test {
protected:
    void SetUp() override { settleRuntimeThreads(); }
    // Failure paths: give back what a test left open.
    void TearDown() override {
        releaseAll();
        if (ups::instancesInUse() == 0) ups::globalShutdown();
    }

    // Threads and descriptors before any device opens (the pty pairs included).
    void markBaseline() {
        m_threads = threadIds();
        m_fds = fdCount();
    }
    void releaseAll() {
        for (MasterInstance* instance : m_instances) {
            if (ups::isLiveInstance(instance)) {
                EXPECT_EQ(ups::releaseInstance(instance), Success);
            }
        }
        m_instances.clear();
    }
    // Closes every device as the API does with the last one and checks that
    // nothing is left running or open.
    void finish() {
        releaseAll();
        ASSERT_EQ(ups::instancesInUse(), 0);
        uint64_t t0 = nowMs();
        ups::globalShutdown();
        EXPECT_LT(nowMs() - t0, 1000u);
        EXPECT_FALSE(ups::timerServiceRunning());
        EXPECT_FALSE(ups::anyPortThread());
        // Every thread started since the baseline has ended: globalShutdown
        // joined it.
        EXPECT_TRUE(waitFor([&] { return threadsBesides(m_threads) == 0; }, 3000))
            << threadsBesides(m_threads) << " threads left";
        EXPECT_EQ(fdCount(), m_fds);
    }

    MasterInstance* open(unsigned port, uint32_t baud) {
        MasterInstance* instance = ups::acquireInstance();
        if (instance == nullptr) return nullptr;
        m_instances.push_back(instance);
        if (ups::openRtuTransport(instance, (uint8_t)port, baud, ups::plat::ParityNone, 2) !=
            Success) {
            return nullptr;
        }
        return instance;
    }

    std::vector<MasterInstance*> m_instances;
    std::set<std::string> m_threads;
    int m_fds = 0;
};

TEST_F(RtuTest, AnswerIsTakenOnItsLastByteButABadOneOnlyAtTheGap) {
    // At 50 baud the gap that ends a chunk is one character plus 20 ms = 240 ms.
    const uint32_t baud = 50;
    const uint64_t gapMs = ups::readTimeoutMs(baud);
    ASSERT_EQ(gapMs, 240u);
    PtyPair pty(30);
    ASSERT_TRUE(pty.ok());
    markBaseline();
    MasterInstance* instance = open(30, baud);
    ASSERT_NE(instance, nullptr);

    const std::vector<uint8_t> answer = withCrc({1, 3, 6, 0, 1, 0, 2, 0, 3});
    uint16_t values[3] = {0, 0, 0};
    {
        SlaveTurn slave(pty, 8, answer);
        EXPECT_EQ(runRead(instance, 1, 0, 3, values), Success);
        uint64_t doneAt = nowMs();
        slave.join();
        EXPECT_EQ(slave.request,
                  (std::vector<uint8_t>{0x01, 0x03, 0x00, 0x00, 0x00, 0x03, 0x05, 0xCB}));
        EXPECT_EQ(values[0], 1);
        EXPECT_EQ(values[1], 2);
        EXPECT_EQ(values[2], 3);
        EXPECT_LT(doneAt - slave.answeredAt, gapMs / 2);
    }

    // The answer and the start of garbage arrive together, taken in one read:
    // the frame still ends on its last byte, and the garbage is discarded
    // rather than taken as the start of the next answer.
    std::vector<uint8_t> withGarbage = answer;
    withGarbage.insert(withGarbage.end(), {0x01, 0x03, 0x06, 0xAA});
    for (const std::vector<uint8_t>& reply : {withGarbage, answer}) {
        SlaveTurn slave(pty, 8, reply);
        values[0] = 0;
        EXPECT_EQ(runRead(instance, 1, 0, 3, values), Success);
        uint64_t doneAt = nowMs();
        slave.join();
        EXPECT_EQ(values[0], 1);
        EXPECT_LT(doneAt - slave.answeredAt, gapMs / 2);
    }

    // Swapped CRC bytes never make the running CRC zero: the chunk ends at the gap.
    std::vector<uint8_t> swapped = answer;
    std::swap(swapped[9], swapped[10]);
    ASSERT_TRUE(rtuEarlyEnds(swapped).empty());
    {
        SlaveTurn slave(pty, 8, swapped);
        EXPECT_EQ(runRead(instance, 1, 0, 3, values), IoError);
        uint64_t doneAt = nowMs();
        slave.join();
        EXPECT_GE(doneAt - slave.answeredAt, gapMs - 10);
    }
    finish();
}

TEST_F(RtuTest, WrongSlaveOverrunAndShortAnswersFail) {
    PtyPair pty(31);
    ASSERT_TRUE(pty.ok());
    markBaseline();
    MasterInstance* instance = open(31, 115200);
    ASSERT_NE(instance, nullptr);
    uint16_t values[3] = {0, 0, 0};

    const std::vector<uint8_t> longAnswer = overlongAnswer();
    ASSERT_EQ(rtuEarlyEnds(longAnswer), std::vector<size_t>{256});

    struct Case {
        const char* what;
        std::vector<uint8_t> answer;
        ResultCode expected;
    };
    const Case cases[] = {
        {"answer from slave 2", withCrc({2, 3, 6, 0, 1, 0, 2, 0, 3}), IoError},
        {"longer than 255 bytes", longAnswer, IoError},
        {"fewer than 4 bytes", {1, 3, 6}, IoError},
        {"exception answer", withCrc({1, 0x83, 2}), ExceptionIllegalDataAddress},
    };
    for (const Case& c : cases) {
        SlaveTurn slave(pty, 8, c.answer);
        EXPECT_EQ(runRead(instance, 1, 0, 3, values), c.expected) << c.what;
        slave.join();
        EXPECT_EQ(slave.request, readRequest(1, 0, 3)) << c.what;
        // Whatever was left of the bad answer does not spoil the next request.
        SlaveTurn good(pty, 8, withCrc({1, 3, 6, 0, 4, 0, 5, 0, 6}));
        EXPECT_EQ(runRead(instance, 1, 0, 3, values), Success) << c.what;
        EXPECT_EQ(values[0], 4);
        EXPECT_EQ(values[2], 6);
    }
    finish();
}

// Below the engine: what the transport posts for an answer and how it judges
// the frame when the engine takes it.
TEST_F(RtuTest, TransportPostsAndChecksEachAnswer) {
    PtyPair pty(34);
    ASSERT_TRUE(pty.ok());
    markBaseline();
    MasterInstance* instance = open(34, 115200);
    ASSERT_NE(instance, nullptr);

    struct Case {
        const char* what;
        std::vector<uint8_t> answer;
        uint8_t posted;
        ResultCode taken;  // receiveFrame with an output; the cancel for a ReceiveError
        uint16_t pduLength;
    };
    const Case cases[] = {
        {"good answer", withCrc({1, 3, 6, 0, 1, 0, 2, 0, 3}), ups::FrameReceived, Success, 8},
        // Does not fit the frame buffer.
        {"overrun", overlongAnswer(), ups::ReceiveError, InvalidArgument, 0},
        // Address and CRC only: intact, but too short to hold a PDU.
        {"three bytes", withCrc({1}), ups::FrameReceived, IoError, 0},
    };
    const uint8_t request[] = {3, 0, 0, 0, 3};
    for (const Case& c : cases) {
        memcpy(instance->pdu, request, sizeof request);
        SlaveTurn slave(pty, 8, c.answer);
        ASSERT_EQ(instance->sendFrame(instance, 1, sizeof request), Success) << c.what;
        ASSERT_TRUE(ups::plat::eventWait(&instance->completion->event, 3000)) << c.what;
        uint8_t code = 0;
        ASSERT_TRUE(ups::takeCompletion(instance->completion, &code)) << c.what;
        EXPECT_EQ(code, c.posted) << c.what;
        uint16_t pduLength = 0;
        EXPECT_EQ(
            instance->receiveFrame(instance, 1, code == ups::ReceiveError ? nullptr : &pduLength),
            c.taken)
            << c.what;
        EXPECT_EQ(pduLength, c.pduLength) << c.what;
        slave.join();
        EXPECT_EQ(slave.request, readRequest(1, 0, 3)) << c.what;
    }
    finish();
}

TEST_F(RtuTest, BroadcastWriteEndsOnTheNextTimerTick) {
    PtyPair pty(32);
    ASSERT_TRUE(pty.ok());
    markBaseline();
    MasterInstance* instance = open(32, 115200);
    ASSERT_NE(instance, nullptr);
    const uint16_t values[2] = {0x1234, 0xABCD};

    uint64_t t0 = nowMs();
    EXPECT_EQ(runWrite(instance, 0, 5, 2, values), Success);
    uint64_t took = nowMs() - t0;
    // No answer is awaited: far less than the 1000 ms response time-out.
    EXPECT_LT(took, 250u);
    EXPECT_EQ(pty.read(13, 1000), withCrc({0, 0x10, 0, 5, 0, 2, 4, 0x12, 0x34, 0xAB, 0xCD}));

    // A unicast write waits for its echo.
    SlaveTurn slave(pty, 13, withCrc({1, 0x10, 0, 5, 0, 2}));
    EXPECT_EQ(runWrite(instance, 1, 5, 2, values), Success);
    slave.join();
    EXPECT_EQ(slave.request, withCrc({1, 0x10, 0, 5, 0, 2, 4, 0x12, 0x34, 0xAB, 0xCD}));
    finish();
}

TEST_F(RtuTest, SilentSlaveTimesOutAndItsLateAnswerIsDiscarded) {
    PtyPair pty(33);
    ASSERT_TRUE(pty.ok());
    markBaseline();
    MasterInstance* instance = open(33, 115200);
    ASSERT_NE(instance, nullptr);
    ASSERT_EQ(ups::setResponseTimeout(instance, 300), Success);
    uint16_t values[3] = {0, 0, 0};

    {
        SlaveTurn silent(pty, 8, {});
        uint64_t t0 = nowMs();
        EXPECT_EQ(runRead(instance, 1, 0, 3, values), TimedOut);
        uint64_t took = nowMs() - t0;
        EXPECT_GE(took, 290u);
        EXPECT_LE(took, 3000u);
        silent.join();
        EXPECT_EQ(silent.request, readRequest(1, 0, 3));
    }

    // The answer comes after all; it is a valid answer to the same request and
    // sits in the port's input queue until the next request is sent. It comes
    // once the port thread is idle: a receive round still under way on a
    // loaded machine would read it and drop it itself.
    ASSERT_TRUE(waitFor(
        [&] {
            ups::takeStackLock();
            bool idle = instance->port->receiveSink == nullptr && instance->port->busy == 0;
            ups::giveStackLock();
            return idle;
        },
        10000));
    const std::vector<uint8_t> late = withCrc({1, 3, 6, 0, 1, 0, 2, 0, 3});
    pty.write(late);
    // A loaded machine was seen to take over 2 s to pass pty bytes on.
    ASSERT_TRUE(waitFor([&] { return inputQueued(pty.slave()) == (int)late.size(); }, 10000));

    // This answer comes at once: a time-out far beyond any stall.
    ASSERT_EQ(ups::setResponseTimeout(instance, 10000), Success);
    SlaveTurn slave(pty, 8, withCrc({1, 3, 6, 0, 7, 0, 8, 0, 9}));
    EXPECT_EQ(runRead(instance, 1, 0, 3, values), Success);
    slave.join();
    EXPECT_EQ(slave.request, readRequest(1, 0, 3));
    EXPECT_EQ(values[0], 7);
    EXPECT_EQ(values[1], 8);
    EXPECT_EQ(values[2], 9);
    finish();
}

TEST_F(RtuTest, TwoTransportsAtMost) {
    PtyPair a(34), b(35), c(36);
    ASSERT_TRUE(a.ok() && b.ok() && c.ok());
    markBaseline();

    MasterInstance* instances[3];
    for (MasterInstance*& instance : instances) {
        instance = ups::acquireInstance();
        ASSERT_NE(instance, nullptr);
        m_instances.push_back(instance);
    }
    // A failed open gives its pool entry back.
    unsetenv("QXUPS_COM0");
    EXPECT_EQ(ups::openRtuTransport(instances[0], 0, 115200, ups::plat::ParityNone, 2), PortError);
    EXPECT_EQ(ups::openRtuTransport(instances[0], 34, 115200, ups::plat::ParityNone, 2), Success);
    EXPECT_EQ(ups::openRtuTransport(instances[1], 35, 115200, ups::plat::ParityNone, 2), Success);
    EXPECT_EQ(ups::openRtuTransport(instances[2], 36, 115200, ups::plat::ParityNone, 2),
              NoResource);
    EXPECT_EQ(instances[2]->transport, nullptr);

    ASSERT_EQ(ups::releaseInstance(instances[1]), Success);
    EXPECT_EQ(ups::openRtuTransport(instances[2], 36, 115200, ups::plat::ParityNone, 2), Success);

    // The new transport works.
    uint16_t values[3] = {0, 0, 0};
    SlaveTurn slave(c, 8, withCrc({1, 3, 6, 0, 1, 0, 2, 0, 3}));
    EXPECT_EQ(runRead(instances[2], 1, 0, 3, values), Success);
    EXPECT_EQ(values[2], 3);
    slave.join();
    finish();
}

}  // namespace

namespace {

struct Shape {
    const char* what;
    std::vector<uint8_t> pdu;
    bool complete;
};

TEST(RtuFrameEnd, AnswerShapesOfEveryFunctionCodeEndAFrameRequestShapesDoNot) {
    const Shape shapes[] = {
        {"01 request", {1, 0, 0, 0, 16}, false},
        {"01 answer", {1, 2, 0xAA, 0x55}, true},
        {"01 answer cut", {1, 2, 0xAA}, false},
        {"02 answer", {2, 1, 0x01}, true},
        {"02 function code alone", {2}, false},
        {"03 request", {3, 0, 0, 0, 3}, false},
        {"03 answer", {3, 6, 0, 1, 0, 2, 0, 3}, true},
        {"03 answer cut", {3, 6, 0, 1, 0, 2, 0}, false},
        {"03 answer no data", {3, 0}, true},
        {"03 function code alone", {3}, false},
        {"04 answer", {4, 2, 0, 1}, true},
        {"04 answer long", {4, 2, 0, 1, 0, 0}, false},
        {"05 request/answer", {5, 0, 1, 0xFF, 0}, true},
        {"06 request/answer", {6, 0, 1, 0, 3}, true},
        {"06 cut", {6, 0, 1, 0}, false},
        {"08 request/answer", {8, 0, 0, 0xA5, 0x37}, true},
        {"08 long", {8, 0, 0, 0xA5, 0x37, 0}, false},
        {"07 request", {7}, false},
        {"07 answer", {7, 0x6D}, true},
        {"07 long", {7, 1, 2}, false},
        {"11 request", {11}, false},
        {"11 answer", {11, 0, 0, 0, 8}, true},
        {"11 cut", {11, 0, 0}, false},
        {"12 request", {12}, false},
        {"12 answer", {12, 3, 0, 0, 0}, true},
        {"17 request", {17}, false},
        {"17 answer", {17, 2, 0x10, 0xFF}, true},
        {"17 answer cut", {17, 2, 0x10}, false},
        {"15 request", {15, 0, 0, 0, 10, 2, 0xCD, 0x01}, false},
        {"15 request cut", {15, 0, 0, 0, 10, 2, 0xCD}, false},
        {"16 request", {16, 0, 5, 0, 2, 4, 0x12, 0x34, 0xAB, 0xCD}, false},
        {"16 answer", {16, 0, 5, 0, 2}, true},
        {"16 request cut", {16, 0, 5, 0, 2, 4, 0x12, 0x34, 0xAB}, false},
        {"16 header only", {16, 0, 5, 0}, false},
        {"20 answer", {20, 4, 3, 6, 0, 1}, true},
        {"20 answer cut", {20, 4, 3, 6, 0}, false},
        {"20 request, shaped as an answer", {20, 7, 6, 0, 4, 0, 1, 0, 2}, true},
        {"20 function code alone", {20}, false},
        {"22 request/answer", {22, 0, 4, 0, 0xF2, 0, 0x25}, true},
        {"22 cut", {22, 0, 4, 0, 0xF2, 0}, false},
        {"23 request", {23, 0, 3, 0, 6, 0, 14, 0, 3, 6, 0, 0xFF, 0, 0xFF, 0, 0xFF}, false},
        {"23 answer", {23, 4, 0, 0xFE, 0x0A, 0xCD}, true},
        {"23 request cut", {23, 0, 3, 0, 6, 0, 14, 0, 3, 6, 0}, false},
        {"24 request", {24, 0x04, 0xDE}, false},
        {"24 answer", {24, 0, 6, 0, 2, 1, 2, 3, 4}, true},
        {"24 answer cut", {24, 0, 6, 0, 2}, false},
        {"exception", {0x83, 2}, true},
        {"exception of 1", {0x81, 1}, true},
        {"exception long", {0x83, 2, 0}, false},
        {"exception cut", {0x90}, false},
        {"unknown 43", {0x2B, 0x0E, 1, 0}, false},
        {"unknown 9", {9, 0, 0, 0, 0}, false},
        {"function 0", {0, 0, 0, 0, 0}, false},
    };
    for (const Shape& s : shapes) {
        EXPECT_EQ(ups::isFrameComplete(s.pdu.data(), (uint16_t)s.pdu.size()), s.complete) << s.what;
    }
    const uint8_t any[] = {3};
    EXPECT_FALSE(ups::isFrameComplete(any, 0));
}

}  // namespace
