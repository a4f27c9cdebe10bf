// The in-memory work of a repair on a very large UpperFilters value: parse
// it, look for the filter name, append it, encode the list again. Each step
// runs on a 1 MiB and a 2 MiB value beside a memcpy of the same bytes, and
// the summary at the end says whether every step grows linearly (2 MiB within
// 2.2x of 1 MiB) and stays within 20x of the memcpy.
#include "app/filters.h"
#include "app/names.h"
#include "registry/filter_list.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr size_t kMiB = 1024 * 1024;
constexpr double kLinearLimit = 2.2;
constexpr double kMemcpyLimit = 20.0;

// REG_MULTI_SZ data of exactly `size` bytes (at least 3), final terminator
// included: short names of the filter name's length, so every comparison gets
// past the length check, then one last name of 1 to 10 letters to fill the
// size.
std::vector<BYTE> MakeUpperFilters(size_t size) {
    std::vector<BYTE> data;
    data.reserve(size);
    char name[16];
    for (unsigned i = 0; data.size() + 13 <= size; ++i) {
        std::snprintf(name, sizeof name, "Flt%06u", i % 1000000);
        data.insert(data.end(), name, name + std::strlen(name) + 1);
    }
    data.resize(size - 2, 'x');
    data.push_back(0);
    data.push_back(0);
    return data;
}

// Every timed pass starts with the data out of the core's own caches, as a
// value just read from the registry would be. Without this a 1 MiB value
// fits in a core's cache and a 2 MiB one does not, and even memcpy seems to
// grow four times as fast as its input.
constexpr size_t kEvictionBytes = 8 * kMiB;  // four times a core's own cache here

void EvictCoreCaches() {
    static std::vector<BYTE> sweep(kEvictionBytes);
    for (size_t i = 0; i < sweep.size(); i += 64) sweep[i] = static_cast<BYTE>(sweep[i] + 1);
    benchmark::ClobberMemory();
}

void StartCold(benchmark::State& state) {
    state.PauseTiming();
    EvictCoreCaches();
    state.ResumeTiming();
}

// The tool's read buffer: the data and two zero bytes.
std::vector<BYTE> AsReadBuffer(const std::vector<BYTE>& data) {
    std::vector<BYTE> buffer = data;
    buffer.push_back(0);
    buffer.push_back(0);
    return buffer;
}

FilterList ParseAll(const std::vector<BYTE>& buffer) {
    FilterList list;
    ParseMultiString(buffer.data(), static_cast<DWORD>(buffer.size()), list);
    return list;
}

struct Value {
    std::vector<BYTE> data;
    std::vector<BYTE> buffer;
    FilterList entries;
};

Value MakeValue(size_t size) {
    Value value;
    value.data = MakeUpperFilters(size);
    value.buffer = AsReadBuffer(value.data);
    value.entries = ParseAll(value.buffer);
    return value;
}

void Memcpy(benchmark::State& state, const Value& value) {
    std::vector<BYTE> copy(value.data.size(), 1);
    for (auto _ : state) {
        StartCold(state);
        std::memcpy(copy.data(), value.data.data(), value.data.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
}

void Parse(benchmark::State& state, const Value& value) {
    for (auto _ : state) {
        StartCold(state);
        FilterList list;
        ParseMultiString(value.buffer.data(), static_cast<DWORD>(value.buffer.size()), list);
        benchmark::DoNotOptimize(list.bytes().data());
    }
}

// The name is listed last, in other letter case: the whole list is searched
// and nothing is appended.
void Match(benchmark::State& state, const Value& value) {
    FilterList list = value.entries;
    list.push_back("ulvexpass");
    for (auto _ : state) {
        StartCold(state);
        benchmark::DoNotOptimize(AddFilterIfMissing(list, kFilterName));
    }
}

// The name is missing: the whole list is searched and the name appended to a
// list with no spare capacity, the dearest case of the push.
void Append(benchmark::State& state, const Value& value) {
    for (auto _ : state) {
        state.PauseTiming();
        FilterList list = value.entries;
        EvictCoreCaches();
        state.ResumeTiming();
        benchmark::DoNotOptimize(AddFilterIfMissing(list, kFilterName));
        state.PauseTiming();
        list = FilterList();
        state.ResumeTiming();
    }
}

void Encode(benchmark::State& state, const Value& value) {
    FilterList list = value.entries;
    list.push_back(kFilterName);
    for (auto _ : state) {
        StartCold(state);
        std::vector<BYTE> bytes = EncodeMultiString(list);
        benchmark::DoNotOptimize(bytes.data());
    }
}

// What the tool does between reading the value and writing it back.
void ParseAppendEncode(benchmark::State& state, const Value& value) {
    for (auto _ : state) {
        StartCold(state);
        FilterList list;
        ParseMultiString(value.buffer.data(), static_cast<DWORD>(value.buffer.size()), list);
        AddFilterIfMissing(list, kFilterName);
        std::vector<BYTE> bytes = EncodeMultiString(list);
        benchmark::DoNotOptimize(bytes.data());
    }
}

using Step = void (*)(benchmark::State&, const Value&);

struct NamedStep {
    const char* name;
    Step step;
};

constexpr NamedStep kSteps[] = {
    {"memcpy", Memcpy}, {"parse", Parse},   {"match", Match},
    {"append", Append}, {"encode", Encode}, {"parse+append+encode", ParseAppendEncode},
};

constexpr size_t kSizesMiB[] = {1, 2};

std::string RunName(const char* step, size_t mib) { return std::string(step) + "/" + std::to_string(mib) + "MiB"; }

// Shows the runs as usual and keeps each one's CPU time per iteration, in
// seconds, for the summary: the median of the repetitions, or the median of
// the plain runs when there are no aggregates.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, as the library's own reporter does.
    CollectingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const double seconds = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Iteration) {
                runs_[name].push_back(seconds);
            } else if (run.aggregate_name == "median") {
                medians_[name] = seconds;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Negative when the step did not run.
    double Seconds(const std::string& name) const {
        const auto median = medians_.find(name);
        if (median != medians_.end()) return median->second;
        const auto found = runs_.find(name);
        if (found == runs_.end()) return -1;
        std::vector<double> times = found->second;
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    }

private:
    std::map<std::string, std::vector<double>> runs_;
    std::map<std::string, double> medians_;
};

// True when every step that ran meets both goals.
bool PrintSummary(const CollectingReporter& reporter) {
    const double memcpy1 = reporter.Seconds(RunName("memcpy", 1));
    const double memcpy2 = reporter.Seconds(RunName("memcpy", 2));
    std::printf("\n%-20s %12s %12s %8s %10s %10s  %s\n", "step", "1 MiB (us)", "2 MiB (us)", "2/1", "1/memcpy",
                "2/memcpy", "goals");
    bool allMet = true;
    int judged = 0;
    for (const NamedStep& step : kSteps) {
        const double t1 = reporter.Seconds(RunName(step.name, 1));
        const double t2 = reporter.Seconds(RunName(step.name, 2));
        if (t1 < 0 || t2 < 0 || memcpy1 <= 0 || memcpy2 <= 0) continue;
        if (step.step == Memcpy) {
            std::printf("%-20s %12.1f %12.1f %8.2f %10s %10s  the reference\n", step.name, t1 * 1e6, t2 * 1e6, t2 / t1,
                        "", "");
            continue;
        }
        const double growth = t2 / t1;
        const double vsMemcpy1 = t1 / memcpy1;
        const double vsMemcpy2 = t2 / memcpy2;
        const bool linear = growth <= kLinearLimit;
        const bool nearMemcpy = vsMemcpy1 <= kMemcpyLimit && vsMemcpy2 <= kMemcpyLimit;
        allMet = allMet && linear && nearMemcpy;
        ++judged;
        std::printf("%-20s %12.1f %12.1f %8.2f %10.1f %10.1f  %s, %s\n", step.name, t1 * 1e6, t2 * 1e6, growth,
                    vsMemcpy1, vsMemcpy2, linear ? "linear" : "NOT LINEAR",
                    nearMemcpy ? "within 20x memcpy" : "OVER 20x MEMCPY");
    }
    if (judged == 0) {
        std::printf("goals not judged: a step needs both sizes and the memcpy beside it\n");
        return true;
    }
    std::printf("goals (2 MiB <= %.1fx 1 MiB, <= %.0fx memcpy): %s\n", kLinearLimit, kMemcpyLimit,
                allMet ? "met" : "MISSED");
    return allMet;
}

}  // namespace

int main(int argc, char** argv) {
    // Keep freed blocks in the process instead of handing them back to the
    // kernel, so each pass measures the code and not the kernel zeroing fresh
    // pages for the allocator (which grows with the block in steps of its own).
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);

    std::vector<Value> values;
    for (size_t mib : kSizesMiB) {
        values.push_back(MakeValue(mib * kMiB));
        benchmark::AddCustomContext("UpperFilters " + std::to_string(mib) + " MiB",
                                    std::to_string(values.back().data.size()) + " bytes, " +
                                        std::to_string(values.back().entries.size()) + " entries");
    }

    for (size_t i = 0; i < std::size(kSizesMiB); ++i) {
        const Value& value = values[i];
        for (const NamedStep& step : kSteps) {
            const Step run = step.step;
            benchmark::RegisterBenchmark(RunName(step.name, kSizesMiB[i]).c_str(),
                                         [run, &value](benchmark::State& state) {
                                             run(state, value);
                                             state.SetBytesProcessed(state.iterations() *
                                                                     static_cast<int64_t>(value.data.size()));
                                         })
                ->Unit(benchmark::kMicrosecond)
                ->MinTime(0.2)
                ->Repetitions(5)
                ->DisplayAggregatesOnly(true);
        }
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return PrintSummary(reporter) ? 0 : 1;
}
