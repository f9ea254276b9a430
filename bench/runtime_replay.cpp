// Replays a discharge (CSV t_ms,charge) through the runtime estimator and prints its error over
// time.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtimeEstimate.h"

using qxwatch::kRuntimeUnknown;
using qxwatch::RuntimeEstimator;

namespace {

struct Sample {
    int64_t ms;
    int charge;
};

bool readCsv(const char* path, std::vector<Sample>& out) {
    FILE* f = std::fopen(path, "r");
    if (!f) {
        std::fprintf(stderr, "runtime_replay: cannot open %s\n", path);
        return false;
    }
    char line[256];
    int lineNo = 0;
    while (std::fgets(line, sizeof line, f)) {
        ++lineNo;
        if (line[0] == '#' || line[0] == '\n' || std::strncmp(line, "t_ms", 4) == 0) continue;
        long long ms = 0;
        int charge = 0;
        if (std::sscanf(line, "%lld,%d", &ms, &charge) != 2 ||
            (!out.empty() && ms < out.back().ms)) {
            std::fprintf(stderr, "runtime_replay: %s:%d: not t_ms,charge in time order\n", path,
                         lineNo);
            std::fclose(f);
            return false;
        }
        out.push_back({ms, charge});
    }
    std::fclose(f);
    if (out.size() < 2) {
        std::fprintf(stderr, "runtime_replay: %s: fewer than two samples\n", path);
        return false;
    }
    return true;
}

struct Errors {
    std::vector<double> absS, rel;
    int unknown = 0;
};

// The truth is the time to the recording's end, where the battery was empty.
// Relative errors count while at least two minutes were left: below that a
// few seconds are a large fraction and say little.
Errors replay(const std::vector<Sample>& s, double learned, bool print) {
    RuntimeEstimator e;
    e.setLearnedRate(learned);
    const int64_t endMs = s.back().ms;
    Errors err;
    if (print) std::printf("%6s %6s %9s %9s %8s\n", "t_s", "charge", "estimate", "truth", "error");
    for (const Sample& x : s) {
        const int64_t est = e.update(x.ms, x.charge, true).secondsLeft;
        const double truth = (endMs - x.ms) / 1000.0;
        const int64_t sinceStart = (x.ms - s.front().ms) / 1000;
        if (print && sinceStart % 300 == 0) {
            if (est == kRuntimeUnknown)
                std::printf("%6lld %6d %9s %9.0f %8s\n", (long long)sinceStart, x.charge, "unknown",
                            truth, "-");
            else
                std::printf("%6lld %6d %9lld %9.0f %+7.1f%%\n", (long long)sinceStart, x.charge,
                            (long long)est, truth, truth > 0 ? 100.0 * (est - truth) / truth : 0);
        }
        if (sinceStart < 60) continue;
        if (est == kRuntimeUnknown) {
            ++err.unknown;
            continue;
        }
        err.absS.push_back(std::fabs(est - truth));
        if (truth >= 120) err.rel.push_back(100.0 * std::fabs(est - truth) / truth);
    }
    return err;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double worst(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

void summary(const char* what, const Errors& e) {
    std::printf(
        "%s, after the first minute: median %.1f %% (%.0f s), worst %.1f %% (%.0f s),"
        " unknown %d samples\n",
        what, median(e.rel), median(e.absS), worst(e.rel), worst(e.absS), e.unknown);
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : RUNTIME_REPLAY_CSV;
    std::vector<Sample> s;
    if (!readCsv(path, s)) return 1;
    std::printf("%s: %zu samples, %.0f s\n", path, s.size(), (s.back().ms - s.front().ms) / 1e3);

    std::printf("\nNothing learned:\n");
    summary("nothing learned", replay(s, 0, true));

    // What the front ends would have kept from this discharge, as the seed of
    // the next one like it: how soon the figure is there and how good.
    std::vector<int64_t> times;
    std::vector<int> charges;
    for (const Sample& x : s) {
        times.push_back(x.ms);
        charges.push_back(x.charge);
    }
    const double learned = qxwatch::foldLearnedRate(
        0, qxwatch::rateFromSamples(times.data(), charges.data(), int(times.size())));
    std::printf("\nLearned %.4f %%/s from the recording:\n", learned);
    summary("learned", replay(s, learned, false));
    RuntimeEstimator e;
    e.setLearnedRate(learned);
    std::printf("first minute:");
    for (const Sample& x : s) {
        const int64_t t = (x.ms - s.front().ms) / 1000;
        const int64_t est = e.update(x.ms, x.charge, true).secondsLeft;
        if (t > 60) break;
        if (t == 1 || t == 10 || t == 30 || t == 60)
            std::printf("  %llds: %lld (truth %lld)", (long long)t, (long long)est,
                        (long long)((s.back().ms - x.ms) / 1000));
    }
    std::printf("\n");
    return 0;
}
