// The simulated module without a line: answers and their faults, scripted
// events, control commands, and the paced writer.
#include <errno.h>
#include <gtest/gtest.h>

#include "control.h"
#include "line.h"
#include "simulator.h"

using namespace upssim;

namespace {

Frame readStatus(uint8_t slave = 1, uint16_t count = 3) {
    return Frame{slave, Bytes{3, 0, 0, 0, (uint8_t)count}};
}

Bytes joined(const Reply& r) {
    Bytes all;
    for (const Segment& s : r.segments)
        all.insert(all.end(), s.bytes.begin(), s.bytes.end());
    return all;
}

std::string run(Simulator& sim, const std::string& line, int64_t nowMs = 0) {
    return executeCommand(sim, line, nowMs).reply;
}

}  // namespace

TEST(Simulator, AnswersOnlyItsOwnAddressAndCarriesOutBroadcasts) {
    Simulator sim(RegisterBank(Identity{302, 2, 3}), 5, Framing::Rtu);
    Reply r = sim.handle(readStatus(5));
    EXPECT_TRUE(r.forUs);
    ASSERT_EQ(r.segments.size(), 1u);
    EXPECT_EQ(r.segments[0].delayMs, 0u);
    EXPECT_EQ(r.segments[0].bytes, encodeFrame(Framing::Rtu, 5, {3, 6, 1, 46, 0, 2, 0, 3}));

    r = sim.handle(readStatus(6));
    EXPECT_FALSE(r.forUs);
    EXPECT_TRUE(r.segments.empty());

    r = sim.handle(Frame{0, Bytes{16, 0, 40, 0, 1, 2, 0x12, 0x34}});
    EXPECT_TRUE(r.forUs);
    EXPECT_TRUE(r.segments.empty());
    EXPECT_EQ(sim.bank().value(40), 0x1234);
    EXPECT_EQ(sim.requests(), 2u);
    EXPECT_EQ(sim.errorsInjected(), 0u);

    Simulator ascii(RegisterBank(), 1, Framing::Ascii);
    EXPECT_EQ(joined(ascii.handle(Frame{1, Bytes{4, 0, 0, 0, 1}})),
              encodeFrame(Framing::Ascii, 1, {0x84, 1}));
}

TEST(Simulator, FaultsShapeTheAnswer) {
    Simulator sim(RegisterBank(), 1, Framing::Rtu);
    const Bytes good = joined(sim.handle(readStatus()));

    sim.setFault({Fault::Silent, 0});
    Reply r = sim.handle(Frame{1, Bytes{16, 0, 40, 0, 1, 2, 0, 9}});
    EXPECT_TRUE(r.forUs);
    EXPECT_TRUE(r.segments.empty());
    EXPECT_EQ(sim.bank().value(40), 9);  // carried out, answer lost

    sim.setFault({Fault::BadCrc, 0});
    Bytes b = joined(sim.handle(readStatus()));
    ASSERT_EQ(b.size(), good.size());
    EXPECT_TRUE(std::equal(b.begin(), b.end() - 2, good.begin()));
    EXPECT_NE(crc16(b.data(), b.size()), 0);

    sim.setFault({Fault::WrongSlave, 0});
    b = joined(sim.handle(readStatus()));
    EXPECT_EQ(b[0], 2);
    EXPECT_EQ(crc16(b.data(), b.size()), 0);
    Simulator last(RegisterBank(), 247, Framing::Rtu);
    last.setFault({Fault::WrongSlave, 0});
    EXPECT_EQ(joined(last.handle(readStatus(247)))[0], 1);

    sim.setFault({Fault::Exception, 6});
    EXPECT_EQ(joined(sim.handle(readStatus())), encodeFrame(Framing::Rtu, 1, {0x83, 6}));
    r = sim.handle(Frame{1, Bytes{16, 0, 40, 0, 1, 2, 0, 1}});
    EXPECT_EQ(joined(r), encodeFrame(Framing::Rtu, 1, {0x90, 6}));
    EXPECT_EQ(sim.bank().value(40), 9);  // refused, not carried out

    sim.setFault({Fault::Delay, 1500});
    r = sim.handle(readStatus());
    ASSERT_EQ(r.segments.size(), 1u);
    EXPECT_EQ(r.segments[0].delayMs, 1500u);
    EXPECT_EQ(r.segments[0].bytes, good);

    sim.setFault({Fault::Split, 200});
    r = sim.handle(readStatus());
    ASSERT_EQ(r.segments.size(), 2u);
    EXPECT_EQ(r.segments[0].delayMs, 0u);
    EXPECT_EQ(r.segments[1].delayMs, 200u);
    EXPECT_FALSE(r.segments[0].bytes.empty());
    EXPECT_FALSE(r.segments[1].bytes.empty());
    EXPECT_EQ(joined(r), good);

    sim.setFault({Fault::Noise, 0});
    r = sim.handle(readStatus());
    ASSERT_EQ(r.segments.size(), 1u);
    Bytes expected = kNoiseBytes;
    expected.insert(expected.end(), good.begin(), good.end());
    EXPECT_EQ(r.segments[0].bytes, expected);

    // Broadcasts are never answered, whatever the fault.
    sim.setFault({Fault::Exception, 2});
    EXPECT_TRUE(sim.handle(Frame{0, Bytes{16, 0, 40, 0, 1, 2, 0, 1}}).segments.empty());

    EXPECT_EQ(sim.requests(), 10u);
    EXPECT_EQ(sim.errorsInjected(), 9u);
}

TEST(Simulator, NoiseIsInvisibleToAnAsciiMaster) {
    for (uint8_t b : kNoiseBytes) {
        EXPECT_NE(b, ':');
        EXPECT_NE(b, '\r');
        EXPECT_NE(b, '\n');
    }
    // In RTU its second byte is no function code, so the glued chunk cannot
    // look complete to a master that checks CRC and length.
    EXPECT_EQ(kNoiseBytes[1], 0);
}

TEST(Scenarios, DcLossAndReturn) {
    Simulator sim(RegisterBank(), 1, Framing::Rtu);
    RegisterBank& bank = sim.bank();
    bank.setValue(reg::InputVoltage, 12500);
    sim.dcLoss();
    EXPECT_EQ(bank.value(reg::DcOk), 0);
    EXPECT_EQ(bank.value(reg::PowerSource), kPowerFromBattery);
    EXPECT_EQ(bank.value(reg::InputVoltage), 0);
    EXPECT_EQ(bank.value(reg::BatteryMode), 1);
    EXPECT_EQ(bank.value(reg::OutputVoltage), 24000);
    sim.dcLoss();  // a second loss does not forget the input voltage
    sim.dcReturn();
    EXPECT_EQ(bank.value(reg::DcOk), 1);
    EXPECT_EQ(bank.value(reg::PowerSource), kPowerFromDc);
    EXPECT_EQ(bank.value(reg::InputVoltage), 12500);
    EXPECT_EQ(bank.value(reg::BatteryMode), 0);

    sim.swOutput(true);
    EXPECT_EQ(bank.value(reg::SwOutput), 1);
    sim.swOutput(false);
    EXPECT_EQ(bank.value(reg::SwOutput), 0);
}

TEST(Scenarios, ChargeRampIsClampedAndFollowsOutsideChanges) {
    Simulator sim(RegisterBank(), 1, Framing::Rtu);
    RegisterBank& bank = sim.bank();
    bank.setValue(reg::Charge, 80);
    EXPECT_EQ(sim.nextTickMs(), INT64_MAX);
    sim.setChargeRate(-10, 1000);
    EXPECT_EQ(sim.nextTickMs(), 1000 + Simulator::kTickMs);
    sim.tick(1500);
    EXPECT_EQ(bank.value(reg::Charge), 75);
    sim.tick(1500);
    EXPECT_EQ(bank.value(reg::Charge), 75);
    sim.tick(3000);
    EXPECT_EQ(bank.value(reg::Charge), 60);
    sim.tick(20000);
    EXPECT_EQ(bank.value(reg::Charge), 0);

    bank.setValue(reg::Charge, 50);  // e.g. "set 26 50" while discharging
    sim.setChargeRate(25, 20000);
    sim.tick(21000);
    EXPECT_EQ(bank.value(reg::Charge), 75);
    bank.setValue(reg::Charge, 90);
    sim.tick(21200);
    EXPECT_EQ(bank.value(reg::Charge), 95);
    sim.tick(30000);
    EXPECT_EQ(bank.value(reg::Charge), 100);

    sim.setChargeRate(0, 30000);
    EXPECT_EQ(sim.nextTickMs(), INT64_MAX);
    bank.setValue(reg::Charge, 42);
    sim.tick(40000);
    EXPECT_EQ(bank.value(reg::Charge), 42);
}

TEST(Control, CommandsAndTheirOneLineAnswers) {
    Simulator sim(RegisterBank(), 1, Framing::Rtu);
    EXPECT_EQ(run(sim, "set 40 1234"), "ok");
    EXPECT_EQ(run(sim, "get 40"), "value 1234");
    EXPECT_EQ(run(sim, "  set   41   0xFFFF  "), "ok");
    EXPECT_EQ(run(sim, "get 41"), "value 65535");
    EXPECT_EQ(run(sim, "set 42 -1"), "ok");
    EXPECT_EQ(run(sim, "get 42"), "value 65535");
    // The control side may change read-only registers.
    EXPECT_EQ(run(sim, "set 0 777"), "ok");
    EXPECT_EQ(run(sim, "get 0"), "value 777");

    EXPECT_EQ(run(sim, "scenario dc-loss"), "ok");
    EXPECT_EQ(run(sim, "get 28"), "value 0");
    EXPECT_EQ(run(sim, "get 27"), "value 2");
    EXPECT_EQ(run(sim, "scenario dc-return"), "ok");
    EXPECT_EQ(run(sim, "get 28"), "value 1");
    EXPECT_EQ(run(sim, "scenario sw-on"), "ok");
    EXPECT_EQ(run(sim, "get 31"), "value 1");
    EXPECT_EQ(run(sim, "scenario sw-off"), "ok");
    EXPECT_EQ(run(sim, "scenario charge -2.5"), "ok");
    EXPECT_EQ(sim.chargeRate(), -2.5);

    ControlResult r = executeCommand(sim, "fault split 200", 0);
    EXPECT_EQ(r.reply, "ok");
    EXPECT_TRUE(r.faultChanged);
    EXPECT_EQ(sim.fault().kind, Fault::Split);
    EXPECT_EQ(sim.fault().param, 200u);
    EXPECT_EQ(run(sim, "fault exception 2"), "ok");
    EXPECT_EQ(sim.fault().kind, Fault::Exception);
    EXPECT_EQ(run(sim, "fault delay 50"), "ok");
    for (const char* f : {"silent", "bad-crc", "wrong-slave", "noise", "none"})
        EXPECT_EQ(run(sim, std::string("fault ") + f), "ok") << f;
    EXPECT_EQ(sim.fault().kind, Fault::None);

    sim.handle(readStatus());
    EXPECT_EQ(run(sim, "stats"), "stats requests=1 errors=0");
    EXPECT_EQ(run(sim, "help").compare(0, 9, "commands:"), 0);

    r = executeCommand(sim, "quit", 0);
    EXPECT_EQ(r.reply, "bye");
    EXPECT_TRUE(r.quit);

    // Not commands: no answer at all.
    EXPECT_EQ(run(sim, ""), "");
    EXPECT_EQ(run(sim, "   "), "");
    EXPECT_EQ(run(sim, "# comment"), "");
}

TEST(Control, MistakesAreErrorsAndChangeNothing) {
    Simulator sim(RegisterBank(), 1, Framing::Rtu);
    const char* bad[] = {
        "frobnicate",
        "set",
        "set 40",
        "set 40 1 2",
        "set 200 1",
        "set -1 1",
        "set 40 65536",
        "set 40 -32769",
        "set 40 12abc",
        "get",
        "get 40016",
        "get x",
        "scenario",
        "scenario boom",
        "scenario charge",
        "scenario charge fast",
        "scenario dc-loss x",
        "fault",
        "fault explode",
        "fault exception",
        "fault exception 0",
        "fault delay -5",
        "fault split",
        "fault none now",
        "stats now",
        "quit now",
    };
    for (const char* line : bad) {
        ControlResult r = executeCommand(sim, line, 0);
        EXPECT_EQ(r.reply.compare(0, 6, "error "), 0) << line << " -> " << r.reply;
        EXPECT_FALSE(r.quit) << line;
        EXPECT_FALSE(r.faultChanged) << line;
    }
    EXPECT_NE(run(sim, "get 40016").find("protocol address"), std::string::npos);
    EXPECT_EQ(sim.bank().value(40), 0);
    EXPECT_EQ(sim.bank().value(reg::DcOk), 1);
    EXPECT_EQ(sim.fault().kind, Fault::None);
    EXPECT_EQ(sim.chargeRate(), 0);
}

// The writer with a recording line instead of a file descriptor.
struct RecordingLine {
    std::vector<std::pair<int64_t, Bytes>> writes;
    int64_t now = 0;
    size_t accept = SIZE_MAX;  // bytes the line takes per call
    LineWriter::WriteFn fn() {
        return [this](const uint8_t* p, size_t n) -> ssize_t {
            if (accept == 0) {
                errno = EAGAIN;
                return -1;
            }
            size_t k = std::min(n, accept);
            writes.emplace_back(now, Bytes(p, p + k));
            return (ssize_t)k;
        };
    }
};

TEST(LineWriter, CharacterTimes) {
    EXPECT_EQ(characterTimeUs(9600), 1146);
    EXPECT_EQ(characterTimeUs(115200), 95);
    EXPECT_EQ(silentIntervalUs(9600), 4011);
    EXPECT_EQ(silentIntervalUs(19200), 2006);
    EXPECT_EQ(silentIntervalUs(38400), 1750);
}

TEST(LineWriter, UnpacedSegmentsGoOutWhole) {
    RecordingLine line;
    LineWriter w(line.fn(), 115200, false);
    w.send({{0, {1, 2, 3}}, {200, {4, 5}}}, 1000);
    EXPECT_EQ(w.nextDueUs(), 1000);
    line.now = 1000;
    ASSERT_TRUE(w.service(line.now));
    EXPECT_EQ(w.nextDueUs(), 201000);
    line.now = 201000;
    ASSERT_TRUE(w.service(line.now));
    ASSERT_EQ(line.writes.size(), 2u);
    EXPECT_EQ(line.writes[0].second, (Bytes{1, 2, 3}));
    EXPECT_EQ(line.writes[1].second, (Bytes{4, 5}));
    EXPECT_FALSE(w.pending());
    EXPECT_EQ(w.bytesWritten(), 5u);
}

TEST(LineWriter, PacedBytesAreOneCharacterTimeApart) {
    RecordingLine line;
    LineWriter w(line.fn(), 9600, true);  // 1146 us a character
    w.send({{0, {1, 2, 3, 4}}, {10, {5}}}, 0);
    for (int64_t t = 0; t <= 20000; t += 100) {
        line.now = t;
        w.service(t);
    }
    ASSERT_EQ(line.writes.size(), 5u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_GE(line.writes[i].first, (int64_t)i * 1146);
        EXPECT_LT(line.writes[i].first, (int64_t)i * 1146 + 100);
    }
    // The pause counts from the end of the previous piece.
    EXPECT_GE(line.writes[4].first, 4 * 1146 + 10000);

    // Late service writes everything due at once, never anything early.
    RecordingLine late;
    LineWriter w2(late.fn(), 9600, true);
    w2.send({{0, {1, 2, 3, 4}}}, 0);
    late.now = 2500;
    w2.service(late.now);
    ASSERT_EQ(late.writes.size(), 1u);
    EXPECT_EQ(late.writes[0].second, (Bytes{1, 2, 3}));
    EXPECT_EQ(w2.nextDueUs(), 3 * 1146);
}

TEST(LineWriter, FullLineWaitsAndClearDropsTheRest) {
    RecordingLine line;
    LineWriter w(line.fn(), 115200, false);
    line.accept = 2;
    w.send({{0, {1, 2, 3, 4, 5}}}, 0);
    ASSERT_TRUE(w.service(0));
    EXPECT_TRUE(w.waitingForLine());
    EXPECT_EQ(w.nextDueUs(), INT64_MAX);
    line.accept = SIZE_MAX;
    ASSERT_TRUE(w.service(10));
    EXPECT_FALSE(w.waitingForLine());
    ASSERT_EQ(line.writes.size(), 2u);
    EXPECT_EQ(line.writes[1].second, (Bytes{3, 4, 5}));

    w.send({{0, {9}}, {100, {9}}}, 20);
    w.service(20);
    w.clear();
    EXPECT_FALSE(w.pending());
    w.service(1000000);
    EXPECT_EQ(line.writes.size(), 3u);

    LineWriter failing(
        [](const uint8_t*, size_t) -> ssize_t {
            errno = EIO;
            return -1;
        },
        115200, false);
    failing.send({{0, {1}}}, 0);
    EXPECT_FALSE(failing.service(0));
}
