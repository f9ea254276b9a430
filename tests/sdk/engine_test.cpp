// Request engine against a fake transport: the test installs its own
// sendFrame/receiveFrame/closeTransport in an acquired instance, records the
// PDUs the engine builds and posts completion codes as a transport would.
#include <gtest/gtest.h>

#include <chrono>
#include <string.h>
#include <thread>
#include <vector>

#include "engine.h"

using namespace ups;

namespace {

typedef std::vector<uint8_t> Bytes;

// What the fake line does and what it saw.
struct FakeLine {
    Bytes sentPdu;
    int sentSlave = -1;
    int sends = 0;
    int receives = 0;  // receiveFrame with a length output
    int cancels = 0;   // receiveFrame without one
    int closes = 0;
    ResultCode sendResult = Success;
    ResultCode receiveResult = Success;
    ResultCode closeResult = Success;
    Bytes answer;         // the answer PDU that receiveFrame places in the frame buffer
    int postCode = -1;    // completion posted when a frame is sent; -1: none (silent slave)
    int postDelayMs = 0;  // 0: posted inside sendFrame; else from another thread after the delay
    std::thread poster;
};

FakeLine* g_line = nullptr;

ResultCode fakeSend(MasterInstance* instance, uint8_t slave, uint16_t pduLength) {
    FakeLine& line = *g_line;
    ++line.sends;
    line.sentSlave = slave;
    line.sentPdu.assign(instance->pdu, instance->pdu + pduLength);
    if (line.sendResult != Success || line.postCode < 0) return line.sendResult;
    EventSlot* completion = instance->completion;
    uint8_t code = (uint8_t)line.postCode;
    if (line.postDelayMs == 0) {
        EXPECT_EQ(postCompletion(completion, code), Success);
    } else {
        int delay = line.postDelayMs;
        line.poster = std::thread([completion, code, delay] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            EXPECT_EQ(postCompletion(completion, code), Success);
        });
    }
    return Success;
}

ResultCode fakeReceive(MasterInstance* instance, uint8_t, uint16_t* pduLength) {
    FakeLine& line = *g_line;
    if (pduLength == nullptr) {
        ++line.cancels;
        return Success;
    }
    ++line.receives;
    if (line.receiveResult != Success) return line.receiveResult;
    memcpy(instance->pdu, line.answer.data(), line.answer.size());
    *pduLength = (uint16_t)line.answer.size();
    return Success;
}

ResultCode fakeClose(MasterInstance*) {
    ++g_line->closes;
    return g_line->closeResult;
}

struct Outcome {
    ResultCode result;
    int steps;
    int waitSteps;  // calls made while the state was Wait
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_line = &line;
        instance = acquireInstance();
        ASSERT_NE(instance, nullptr);
        instance->pdu = frame + 1;  // after the address byte, as a transport does
        instance->sendFrame = fakeSend;
        instance->receiveFrame = fakeReceive;
        instance->closeTransport = fakeClose;
    }
    void TearDown() override {
        if (line.poster.joinable()) line.poster.join();
        if (instance != nullptr) {
            EXPECT_EQ(releaseInstance(instance), Success);
        }
        EXPECT_EQ(instancesInUse(), 0);
        globalShutdown();
        g_line = nullptr;
    }

    // Steps a read from Start to Done (bounded, so a stuck engine fails the test).
    Outcome read(uint8_t slave, uint16_t start, uint8_t count, uint16_t* values) {
        int32_t state = Start;
        ResultCode result = Success;
        Outcome out = {Success, 0, 0};
        while (state != Done && out.steps < 50) {
            if (state == Wait) ++out.waitSteps;
            readHoldingRegisters(instance, slave, start, count, values, &state, &result);
            ++out.steps;
        }
        EXPECT_EQ(state, Done);
        out.result = result;
        return out;
    }
    Outcome write(uint8_t slave, uint16_t start, uint8_t count, const uint16_t* values) {
        int32_t state = Start;
        ResultCode result = Success;
        Outcome out = {Success, 0, 0};
        while (state != Done && out.steps < 50) {
            if (state == Wait) ++out.waitSteps;
            writeMultipleRegisters(instance, slave, start, count, values, &state, &result);
            ++out.steps;
        }
        EXPECT_EQ(state, Done);
        out.result = result;
        return out;
    }
    // The slave answers every request with this PDU.
    void answerWith(const Bytes& pdu) {
        line.answer = pdu;
        line.postCode = FrameReceived;
    }

    FakeLine line;
    uint8_t frame[300] = {};
    MasterInstance* instance = nullptr;
};

// Answer to a read of `count` registers holding the values i * 257 + 1.
Bytes readAnswer(uint8_t count) {
    Bytes pdu = {0x03, (uint8_t)(2 * count)};
    for (int i = 0; i < count; ++i) {
        uint16_t v = (uint16_t)(i * 257 + 1);
        pdu.push_back((uint8_t)(v >> 8));
        pdu.push_back((uint8_t)(v & 0xFF));
    }
    return pdu;
}

// ---- PDUs and good answers ----

TEST_F(EngineTest, ReadBuildsPduAndDecodesValues) {
    answerWith({0x03, 0x06, 0x00, 0x01, 0x12, 0x34, 0xFF, 0xFE});
    line.postDelayMs = 30;  // the answer arrives from the port thread a little later
    uint16_t values[3] = {};
    Outcome out = read(7, 0x1234, 3, values);
    EXPECT_EQ(out.result, Success);
    EXPECT_EQ(line.sentPdu, (Bytes{0x03, 0x12, 0x34, 0x00, 0x03}));
    EXPECT_EQ(line.sentSlave, 7);
    EXPECT_EQ(line.receives, 1);
    EXPECT_EQ(values[0], 0x0001);
    EXPECT_EQ(values[1], 0x1234);
    EXPECT_EQ(values[2], 0xFFFE);
}

TEST_F(EngineTest, WriteBuildsPduAndAcceptsEcho) {
    answerWith({0x10, 0xAB, 0xCD, 0x00, 0x02});
    const uint16_t values[2] = {0x0102, 0xA0B0};
    EXPECT_EQ(write(1, 0xABCD, 2, values).result, Success);
    EXPECT_EQ(line.sentPdu, (Bytes{0x10, 0xAB, 0xCD, 0x00, 0x02, 0x04, 0x01, 0x02, 0xA0, 0xB0}));
    EXPECT_EQ(line.sentSlave, 1);
}

// ---- Count and address limits: refused requests never reach the line ----

TEST_F(EngineTest, ReadLimits) {
    uint16_t values[125] = {};
    answerWith(readAnswer(125));
    EXPECT_EQ(read(1, 65410, 125, values).result, Success);  // 65410 + 125 = 65535
    EXPECT_EQ(line.sentPdu, (Bytes{0x03, 0xFF, 0x82, 0x00, 125}));
    EXPECT_EQ(values[124], 124 * 257 + 1);
    EXPECT_EQ(line.sends, 1);

    const struct {
        uint16_t start;
        uint8_t count;
    } refused[] = {{65411, 125}, {0, 0}, {0, 126}, {65535, 1}};
    for (const auto& r : refused) {
        SCOPED_TRACE(testing::Message() << "start " << r.start << " count " << int(r.count));
        Outcome out = read(1, r.start, r.count, values);
        EXPECT_EQ(out.result, InvalidArgument);
        EXPECT_EQ(out.steps, 1);
    }
    EXPECT_EQ(line.sends, 1);
}

TEST_F(EngineTest, WriteLimits) {
    uint16_t values[124] = {};
    answerWith({0x10, 0x00, 0x00, 0x00, 123});
    EXPECT_EQ(write(1, 0, 123, values).result, Success);
    EXPECT_EQ(line.sentPdu.size(), 6u + 2 * 123);
    EXPECT_EQ(line.sentPdu[5], 246);

    EXPECT_EQ(write(1, 0, 124, values).result, InvalidArgument);
    EXPECT_EQ(write(1, 0, 0, values).result, InvalidArgument);
    EXPECT_EQ(write(1, 65413, 123, values).result, InvalidArgument);  // 65536
    EXPECT_EQ(line.sends, 1);
}

// ---- Answers of the wrong shape ----

TEST_F(EngineTest, MalformedReadAnswersAreIoErrors) {
    const Bytes answers[] = {
        {0x03, 0x08, 0, 1, 0, 2, 0, 3},  // byte count says 4 registers
        {0x03, 0x06, 0, 1, 0, 2},        // too short for its byte count
        {0x04, 0x06, 0, 1, 0, 2, 0, 3},  // other function code
        {0x90, 0x02},                    // a write's exception answer
        {0x83},                          // truncated exception answer
    };
    for (const Bytes& answer : answers) {
        SCOPED_TRACE(testing::PrintToString(answer));
        answerWith(answer);
        uint16_t values[3] = {0xAAAA, 0xAAAA, 0xAAAA};
        EXPECT_EQ(read(1, 0, 3, values).result, IoError);
        EXPECT_EQ(values[0], 0xAAAA);  // nothing delivered
    }
}

TEST_F(EngineTest, WriteEchoMismatchIsIoError) {
    const uint16_t values[2] = {1, 2};
    const Bytes answers[] = {
        {0x10, 0x00, 0x11, 0x00, 0x02},  // other start address
        {0x10, 0x01, 0x10, 0x00, 0x02},  // start address high byte differs
        {0x10, 0x00, 0x10, 0x00, 0x03},  // other quantity
        {0x10, 0x00, 0x10, 0x01, 0x02},  // quantity high byte differs
        {0x03, 0x00, 0x10, 0x00, 0x02},  // other function code
        {0x83, 0x02},                    // a read's exception answer
        {0x10, 0x00, 0x10, 0x00},        // truncated echo
    };
    for (const Bytes& answer : answers) {
        SCOPED_TRACE(testing::PrintToString(answer));
        answerWith(answer);
        EXPECT_EQ(write(1, 0x0010, 2, values).result, IoError);
    }
}

// ---- Exception answers ----

TEST_F(EngineTest, ExceptionCodesMapToResults) {
    const struct {
        uint8_t code;
        ResultCode result;
    } table[] = {
        {1, ExceptionIllegalFunction},
        {2, ExceptionIllegalDataAddress},
        {3, ExceptionIllegalDataValue},
        {4, ExceptionSlaveDeviceFailure},
        {5, ExceptionAcknowledge},
        {6, ExceptionSlaveDeviceBusy},
        {8, ExceptionMemoryParityError},
        {10, ExceptionGatewayPathUnavailable},
        {11, ExceptionGatewayTargetFailed},
        {0, IoError},
        {7, IoError},
        {9, IoError},
        {12, IoError},
        {255, IoError},
    };
    uint16_t values[2] = {0x5555, 0x5555};
    for (const auto& row : table) {
        SCOPED_TRACE(testing::Message() << "exception code " << int(row.code));
        answerWith({0x83, row.code});
        EXPECT_EQ(read(1, 0, 2, values).result, row.result);
        answerWith({0x90, row.code});
        EXPECT_EQ(write(1, 0, 2, values).result, row.result);
    }
    EXPECT_EQ(values[0], 0x5555);
}

// ---- Completion codes other than a received frame ----

TEST_F(EngineTest, BroadcastWriteEndsWhenTransmittedAndBroadcastReadIsRefused) {
    line.postCode = TransmitDone;
    line.postDelayMs = 20;
    uint16_t values[2] = {0x1111, 0x2222};
    EXPECT_EQ(write(0, 5, 2, values).result, Success);
    EXPECT_EQ(line.sentSlave, 0);
    EXPECT_EQ(line.receives + line.cancels, 0);  // no answer is looked at

    // Nobody answers a broadcast, so a read to slave 0 could deliver nothing.
    Outcome out = read(0, 5, 2, values);
    EXPECT_EQ(out.result, InvalidArgument);
    EXPECT_EQ(out.steps, 1);
    EXPECT_EQ(line.sends, 1);
    EXPECT_EQ(values[0], 0x1111);
}

TEST_F(EngineTest, AnswerWaitingWhenTheResponseTimerFiresWins) {
    answerWith({0x03, 0x02, 0x12, 0x34});  // posted as the frame is sent
    uint16_t values[1] = {};
    int32_t state = Start;
    ResultCode result = Success;
    readHoldingRegisters(instance, 1, 0, 1, values, &state, &result);
    readHoldingRegisters(instance, 1, 0, 1, values, &state, &result);
    ASSERT_EQ(state, Wait);
    // The timer thread fires before the engine has taken FrameReceived.
    TimerSlot* timer = instance->responseTimer;
    takeStackLock();
    timer->callback(timer->user);
    giveStackLock();
    while (state != Done)
        readHoldingRegisters(instance, 1, 0, 1, values, &state, &result);
    EXPECT_EQ(result, Success);
    EXPECT_EQ(values[0], 0x1234);
}

TEST_F(EngineTest, SilentSlaveTimesOutAfterResponseTimeout) {
    uint16_t values[1] = {0x4242};
    auto t0 = std::chrono::steady_clock::now();
    Outcome out = read(1, 0, 1, values);
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    EXPECT_EQ(out.result, TimedOut);
    EXPECT_GE(ms, 900);  // armed for 1000 ms when the instance was acquired
    EXPECT_LE(ms, 3000);
    EXPECT_GE(out.waitSteps, 2);  // each Wait step blocks for at most 500 ms
    EXPECT_LE(out.waitSteps, 3);
    EXPECT_EQ(line.cancels, 1);  // the transport is reset for the next request
    EXPECT_EQ(values[0], 0x4242);
}

TEST_F(EngineTest, FailureCompletions) {
    uint16_t values[1] = {};
    line.postCode = ReceiveError;
    EXPECT_EQ(read(1, 0, 1, values).result, IoError);
    EXPECT_EQ(line.cancels, 1);

    line.postCode = TransportFault;
    EXPECT_EQ(write(1, 0, 1, values).result, IoError);

    // A garbled frame: the transport's verdict is the result.
    answerWith({0x03, 0x02, 0x00, 0x01});
    line.receiveResult = IoError;
    EXPECT_EQ(read(1, 0, 1, values).result, IoError);
    EXPECT_EQ(values[0], 0);
    line.receiveResult = Success;

    for (int code : {0, 1, 7, 200}) {
        SCOPED_TRACE(code);
        line.postCode = code;
        EXPECT_EQ(read(1, 0, 1, values).result, IllegalState);
    }
}

TEST_F(EngineTest, FailedSendEndsWithTransportCode) {
    uint16_t values[1] = {};
    line.sendResult = PortError;
    Outcome out = read(1, 0, 1, values);
    EXPECT_EQ(out.result, PortError);
    EXPECT_EQ(out.waitSteps, 0);
    // The frame never left, so no time-out may be left running: a request made
    // after the response time-out has passed must not see a stale ResponseTimeout.
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    line.sendResult = Success;
    answerWith({0x03, 0x02, 0x12, 0x34});
    line.postDelayMs = 50;
    EXPECT_EQ(read(1, 0, 1, values).result, Success);
    EXPECT_EQ(values[0], 0x1234);
}

TEST_F(EngineTest, CodePostedBetweenRequestsDoesNotEndTheNext) {
    // A late chunk or time-out of an earlier request may post after it ended.
    ASSERT_EQ(postCompletion(instance->completion, ResponseTimeout), Success);
    answerWith({0x03, 0x02, 0xBE, 0xEF});
    line.postDelayMs = 50;
    uint16_t values[1] = {};
    EXPECT_EQ(read(1, 0, 1, values).result, Success);
    EXPECT_EQ(values[0], 0xBEEF);
}

TEST_F(EngineTest, SteppingAFinishedRequestIsIllegal) {
    uint16_t values[1] = {};
    for (int32_t bad : {int32_t(Done), int32_t(6), int32_t(-1)}) {
        SCOPED_TRACE(bad);
        int32_t state = bad;
        ResultCode result = Success;
        EXPECT_EQ(readHoldingRegisters(instance, 1, 0, 1, values, &state, &result), IllegalState);
        EXPECT_EQ(state, Done);
        state = bad;
        result = Success;
        writeMultipleRegisters(instance, 1, 0, 1, values, &state, &result);
        EXPECT_EQ(result, IllegalState);
        EXPECT_EQ(state, Done);
    }
    EXPECT_EQ(line.sends, 0);
}

// ---- Pools ----

TEST_F(EngineTest, AtMostFiveInstances) {
    MasterInstance* more[4] = {};
    for (auto& m : more) {
        m = acquireInstance();
        ASSERT_NE(m, nullptr);
    }
    EXPECT_EQ(instancesInUse(), 5);
    EXPECT_EQ(acquireInstance(), nullptr);
    // A released entry is available again.
    EXPECT_EQ(releaseInstance(more[3]), Success);
    more[3] = acquireInstance();
    EXPECT_NE(more[3], nullptr);
    for (auto& m : more)
        EXPECT_EQ(releaseInstance(m), Success);
}

TEST_F(EngineTest, ReleaseClosesTransportAndKeepsInstanceWhenCloseFails) {
    line.closeResult = PortError;
    EXPECT_EQ(releaseInstance(instance), PortError);
    EXPECT_EQ(instancesInUse(), 1);
    EXPECT_TRUE(isLiveInstance(instance));
    line.closeResult = Success;
    EXPECT_EQ(releaseInstance(instance), Success);
    EXPECT_EQ(line.closes, 2);
    EXPECT_FALSE(isLiveInstance(instance));
    EXPECT_EQ(releaseInstance(instance), InvalidArgument);  // released twice
    instance = nullptr;
}

TEST_F(EngineTest, ReferencesOutsideThePoolAreRefused) {
    MasterInstance copy = *instance;  // same index, wrong address
    MasterInstance* middle = reinterpret_cast<MasterInstance*>(reinterpret_cast<char*>(instance) +
                                                               alignof(MasterInstance));
    uint16_t values[1] = {};
    for (MasterInstance* bad : {&copy, middle, static_cast<MasterInstance*>(nullptr)}) {
        int32_t state = Start;
        ResultCode result = Success;
        EXPECT_EQ(readHoldingRegisters(bad, 1, 0, 1, values, &state, &result), InvalidArgument);
        EXPECT_EQ(state, Done);
        state = Start;
        writeMultipleRegisters(bad, 1, 0, 1, values, &state, &result);
        EXPECT_EQ(result, InvalidArgument);
        EXPECT_EQ(releaseInstance(bad), InvalidArgument);
    }
    EXPECT_EQ(line.sends + line.closes, 0);
    EXPECT_EQ(instancesInUse(), 1);

    TimerSlot timerCopy = *instance->responseTimer;
    EXPECT_EQ(startTimer(&timerCopy), InvalidArgument);
    EXPECT_EQ(stopTimer(&timerCopy), InvalidArgument);
    EXPECT_EQ(startTimer(nullptr), InvalidArgument);
    EXPECT_EQ(stopTimer(nullptr), InvalidArgument);
    EXPECT_EQ(timerCopy.armed, 0u);

    EventSlot eventCopy = *instance->completion;
    EXPECT_EQ(postCompletion(&eventCopy, FrameReceived), InvalidArgument);
    EXPECT_EQ(postCompletion(nullptr, FrameReceived), InvalidArgument);
    uint8_t code = 0;
    EXPECT_FALSE(takeCompletion(instance->completion, &code));  // the real slot got nothing
}

}  // namespace
