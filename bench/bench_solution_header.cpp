// Google Benchmark of the header rules of solutions against memcpy: a
// solution of many projects, whose header is a few lines at its top, and a
// hostile one that is all header, lines that almost name the version, so
// that every line is looked at. Each run makes the edits into a buffer
// allocated once outside the timed loop, as projport-cli makes its copy.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "copy_baseline.h"
#include "core/solution_header.h"

namespace {

constexpr cli_version target_2026{7};
constexpr std::int64_t sizes[] = {200 * 1024, 2 * 1024 * 1024, 16 * 1024 * 1024};

const std::string header = "\r\nMicrosoft Visual Studio Solution File, Format Version 12.00\r\n"
                           "# Visual Studio 14\r\nVisualStudioVersion = 14.0.25420.1\r\n"
                           "MinimumVisualStudioVersion = 10.0.40219.1\r\n";

// A solution of `bytes` or a little more: the header, then projects.
const std::string& solution_of_size(std::int64_t bytes)
{
    static std::map<std::int64_t, std::string> made;
    std::string& text = made[bytes];
    if (!text.empty())
        return text;
    text = header;
    for (unsigned i = 0; static_cast<std::int64_t>(text.size()) < bytes; ++i)
        text += "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"lib" + std::to_string(i) + "\", \"src\\lib" +
                std::to_string(i) + "\\lib.vcxproj\", \"{8FD826F8-3739-44E6-8CC8-997122E53B8D}\"\r\nEndProject\r\n";
    text += "Global\r\nEndGlobal\r\n";
    return text;
}

// A header of `bytes` or a little more, with no project and no version line.
const std::string& hostile_of_size(std::int64_t bytes)
{
    static std::map<std::int64_t, std::string> made;
    std::string& text = made[bytes];
    if (!text.empty())
        return text;
    text = "Microsoft Visual Studio Solution File, Format Version 11.00\r\n# Visual C++ Express 2010\r\n";
    while (static_cast<std::int64_t>(text.size()) < bytes)
        text += "  VisualStudioVersio = 17.0\r\n\tMinimumVisualStudioVersion 10.0\r\n";
    return text;
}

struct copier {
    std::string_view input;
    char* out = nullptr;
    std::size_t copied = 0;
    std::size_t written = 0;

    static void on_edit(void* context, const solution_edit& e)
    {
        auto& c = *static_cast<copier*>(context);
        std::memcpy(c.out + c.written, c.input.data() + c.copied, e.at - c.copied);
        c.written += e.at - c.copied;
        std::memcpy(c.out + c.written, e.text.data(), e.text.size());
        c.written += e.text.size();
        c.copied = e.at + e.length;
    }
};

void run_header(benchmark::State& state, const std::string& text)
{
    std::vector<char> output(text.size() + 256, '\0');
    std::size_t edits = 0;
    for (auto _ : state) {
        copier c{text, output.data()};
        edits = find_solution_header_edits(text, target_2026, copier::on_edit, &c).count;
        std::memcpy(c.out + c.written, text.data() + c.copied, text.size() - c.copied);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.counters["edits"] = static_cast<double>(edits);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void typical_header(benchmark::State& state)
{
    run_header(state, solution_of_size(state.range(0)));
}

void hostile_header(benchmark::State& state)
{
    run_header(state, hostile_of_size(state.range(0)));
}

void copy(benchmark::State& state)
{
    copy_baseline(state, solution_of_size(state.range(0)));
}

}  // namespace

int main(int argc, char** argv)
{
    for (std::int64_t bytes : sizes) {
        benchmark::RegisterBenchmark("solution_header", typical_header)->Arg(bytes);
        benchmark::RegisterBenchmark("solution_header_hostile", hostile_header)->Arg(bytes);
        benchmark::RegisterBenchmark("memcpy", copy)->Arg(bytes);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
