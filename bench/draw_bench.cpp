// Every drawing method onto a counting surface, side by side with libzint encoding the same
// data and laying it out as vectors, and the ratio of the two per symbology at the end.
//
// The floor of a method is the cost of its surface calls alone: the calls of one drawing are
// recorded once into flat arrays, one per kind of call, and issued again onto the same counting
// surface, one virtual call each through a Surface pointer the optimiser cannot see through.
// quillet/floor is how far the method is above it.
//
// Each benchmark reports allocations per symbol, in Quillet and in zint alike.
#include <benchmark/benchmark.h>
#include <zint.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "bench/allocation_counter.h"
#include "bench/call_recording.h"
#include "bench/counting_surface.h"
#include "control/quillet.h"

namespace quillet::bench {
namespace {

// One symbol as Quillet is asked for it and as zint is (zint's own spelling of the same data).
struct Sample {
    Symbology type;
    std::string_view code;
    bool check;
    int zintSymbology;
    std::string_view zintData;
    int zintOption2;
};

// The check switches ask both sides for the same check characters: Code 11's C and K, the
// modulo-43 of Code 39, modulo-10 of MSI; Code 93, Code 128, the EAN/UPC family and POSTNET
// always carry theirs. UPC-A Plus is the UPC-A symbol in a flat layout, so zint draws UPC-A.
constexpr std::array<Sample, 22> samples = {{
    {Codabar, "A40156B", false, BARCODE_CODABAR, "A40156B", 0},
    {Code_11, "123-45", true, BARCODE_CODE11, "123-45", 0},
    {Code_128, "BQuillet 128", true, BARCODE_CODE128, "Quillet 128", 0},
    {Code_25, "1234567890", false, BARCODE_C25INTER, "1234567890", 0},
    {Code_39, "CODE39 TEST", true, BARCODE_CODE39, "CODE39 TEST", 1},
    {Code_39F, "Code39 full", true, BARCODE_EXCODE39, "Code39 full", 1},
    {Code_93, "CODE93 TEST", true, BARCODE_CODE93, "CODE93 TEST", 0},
    {EAN_13, "400638133393", false, BARCODE_EANX, "400638133393", 0},
    {EAN_8, "7351353", false, BARCODE_EANX, "7351353", 0},
    {ISBN, "030640615", false, BARCODE_ISBNX, "0306406152", 0},
    {Code_MSI, "1234567", true, BARCODE_MSI_PLESSEY, "1234567", 1},
    {PostNet, "12345", false, BARCODE_POSTNET, "12345", 0},
    {UPC_A, "03600029145", false, BARCODE_UPCA, "03600029145", 0},
    {UPC_A_Plus, "03600029145", false, BARCODE_UPCA, "03600029145", 0},
    {UPC_E, "425261", false, BARCODE_UPCE, "425261", 0},
    // Beyond the fifteen, in ExtendedType's order.
    {ExtendedType::Code_128_Auto, "Ship-ID 2026/12/07 #0042", false, BARCODE_CODE128,
     "Ship-ID 2026/12/07 #0042", 0},
    {ExtendedType::GS1_128, "(01)09501101530003(17)260101(10)ABC123", false, BARCODE_GS1_128,
     "[01]09501101530003[17]260101[10]ABC123", 0},
    {ExtendedType::ITF_14, "1540014128876", false, BARCODE_ITF14, "1540014128876", 0},
    {ExtendedType::EAN_13_AddOn, "9771234567003+05", false, BARCODE_EANX, "9771234567003+05", 0},
    {ExtendedType::UPC_A_AddOn, "03600029145+12", false, BARCODE_UPCA, "03600029145+12", 0},
    {ExtendedType::UPC_E_AddOn, "0425261+12345", false, BARCODE_UPCE, "0425261+12345", 0},
    {ExtendedType::Intelligent_Mail, "01234567094987654321-01234567891", false, BARCODE_USPS_IMAIL,
     "01234567094987654321-01234567891", 0},
}};
static_assert(samples.size() == barcodeTypeNames.size() + extendedTypeNames.size());
static_assert([] {
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const std::size_t fifteen = barcodeTypeNames.size();
        const Symbology expected = i < fifteen ? Symbology(static_cast<tBarcodeType>(i))
                                               : Symbology(static_cast<ExtendedType>(i - fifteen));
        if (!(samples[i].type == expected)) return false;
    }
    return true;
}());

double perIteration(std::uint64_t count, const benchmark::State& state) {
    return static_cast<double>(count) / static_cast<double>(state.iterations());
}

void drawWithQuillet(benchmark::State& state, const Sample& sample) {
    Quillet control;
    CountingSurface surface;
    DrawingArguments args;
    args.pChk = sample.check;
    args.pCode.reserve(64);  // most methods write pCode back; refilling it must not allocate

    args.pCode.assign(sample.code);
    if (const std::int16_t result = control.Draw(sample.type, &surface, args); result != 0) {
        state.SkipWithError(("result " + std::to_string(result)).c_str());
        return;
    }
    surface = CountingSurface{};

    const std::uint64_t allocationsBefore = allocationCount();
    for (auto _ : state) {
        args.pCode.assign(sample.code);
        benchmark::DoNotOptimize(control.Draw(sample.type, &surface, args));
    }
    const std::uint64_t allocations = allocationCount() - allocationsBefore;
    benchmark::DoNotOptimize(surface.checksum);

    state.counters["allocs/symbol"] = perIteration(allocations, state);
    state.counters["boxes/symbol"] = perIteration(static_cast<std::uint64_t>(surface.boxes), state);
    state.counters["texts/symbol"] = perIteration(static_cast<std::uint64_t>(surface.texts), state);
}

// The same calls as drawWithQuillet makes, issued without the method.
void issueCalls(benchmark::State& state, const Sample& sample) {
    Quillet control;
    CountingSurface metrics;
    CallRecording recording(metrics);
    DrawingArguments args;
    args.pChk = sample.check;
    args.pCode.assign(sample.code);
    if (const std::int16_t result = control.Draw(sample.type, &recording, args); result != 0) {
        state.SkipWithError(("result " + std::to_string(result)).c_str());
        return;
    }
    recording.finish();

    CountingSurface surface;
    const std::uint64_t allocationsBefore = allocationCount();
    for (auto _ : state) {
        // Hidden from the optimiser on every round, so that every call goes through the Surface
        // interface as the method's own calls do, rather than straight to CountingSurface.
        Surface* target = &surface;
        benchmark::DoNotOptimize(target);
        recording.issue(target);
    }
    const std::uint64_t allocations = allocationCount() - allocationsBefore;
    benchmark::DoNotOptimize(surface.checksum);

    state.counters["allocs/symbol"] = perIteration(allocations, state);
    state.counters["calls/symbol"] = static_cast<double>(recording.size());
}

// Encode plus vector layout, the work zint does before any output format is written.
int encodeWithZint(zint_symbol* symbol, const Sample& sample) {
    ZBarcode_Clear(symbol);
    symbol->symbology = sample.zintSymbology;
    symbol->option_2 = sample.zintOption2;
    const int encoded =
        ZBarcode_Encode(symbol, reinterpret_cast<const unsigned char*>(sample.zintData.data()),
                        static_cast<int>(sample.zintData.size()));
    if (encoded >= ZINT_ERROR) return encoded;
    return ZBarcode_Buffer_Vector(symbol, 0);
}

void drawWithZint(benchmark::State& state, const Sample& sample) {
    zint_symbol* symbol = ZBarcode_Create();
    if (const int status = encodeWithZint(symbol, sample); status >= ZINT_ERROR) {
        state.SkipWithError(symbol->errtxt);
        ZBarcode_Delete(symbol);
        return;
    }
    std::uint64_t rectangles = 0;
    for (const zint_vector_rect* rect = symbol->vector->rectangles; rect; rect = rect->next)
        ++rectangles;

    const std::uint64_t allocationsBefore = allocationCount();
    for (auto _ : state) benchmark::DoNotOptimize(encodeWithZint(symbol, sample));
    const std::uint64_t allocations = allocationCount() - allocationsBefore;
    ZBarcode_Delete(symbol);

    state.counters["allocs/symbol"] = perIteration(allocations, state);
    state.counters["boxes/symbol"] = static_cast<double>(rectangles);
}

// The console output, and the CPU time per symbol of every run kept for the ratio table (the
// machine is shared, so wall time also counts other processes): the median when the runs are
// repeated, otherwise the single run.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string& name = run.run_name.function_name;
            if (run.error_occurred) {
                failures_[name] = run.error_message;
            } else if (run.run_type == Run::RT_Aggregate ? run.aggregate_name == "median"
                                                         : run.repetitions <= 1) {
                nanoseconds_[name] = run.GetAdjustedCPUTime();
                const auto allocations = run.counters.find("allocs/symbol");
                if (allocations != run.counters.end())
                    allocations_[name] = allocations->second.value;
            }
        }
    }

    void printRatios() const {
        std::printf("\nCPU ns per symbol\n%-16s %11s %9s %9s %13s %9s %14s\n", "symbology",
                    "quillet", "floor", "zint", "quillet/floor", "zint/q", "allocs q/zint");
        for (const Sample& sample : samples) {
            const std::string symbology(sample.type.name());
            const std::string ours = "quillet/" + symbology;
            const std::string floor = "floor/" + symbology;
            const std::string theirs = "zint/" + symbology;
            if (failures_.count(ours)) {
                std::printf("%-16s %11s\n", symbology.c_str(), failures_.at(ours).c_str());
                continue;
            }
            if (!nanoseconds_.count(ours) || !nanoseconds_.count(theirs) ||
                !nanoseconds_.count(floor))
                continue;
            const double quilletTime = nanoseconds_.at(ours);
            const double floorTime = nanoseconds_.at(floor);
            const double zintTime = nanoseconds_.at(theirs);
            std::printf("%-16s %11.1f %9.1f %9.1f %12.2fx %8.1fx %7.1f/%-6.1f\n", symbology.c_str(),
                        quilletTime, floorTime, zintTime, quilletTime / floorTime,
                        zintTime / quilletTime, allocations_.at(ours), allocations_.at(theirs));
        }
    }

  private:
    std::map<std::string, double> nanoseconds_;
    std::map<std::string, double> allocations_;
    std::map<std::string, std::string> failures_;
};

void registerBenchmarks() {
    for (const Sample& sample : samples) {
        const std::string symbology(sample.type.name());
        benchmark::RegisterBenchmark(("quillet/" + symbology).c_str(), drawWithQuillet, sample)
            ->Unit(benchmark::kNanosecond);
        benchmark::RegisterBenchmark(("floor/" + symbology).c_str(), issueCalls, sample)
            ->Unit(benchmark::kNanosecond);
        benchmark::RegisterBenchmark(("zint/" + symbology).c_str(), drawWithZint, sample)
            ->Unit(benchmark::kNanosecond);
    }
}

}  // namespace
}  // namespace quillet::bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    quillet::bench::registerBenchmarks();
    quillet::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
