// The conversion of generated 2015 projects to 2019, each size beside a plain
// memcpy of the same bytes, the floor that any rewrite of the text pays:
// projport.exe's conversion (convert/N), projport-cli's rules with an SDK
// version as well, their edits made into an output buffer (cli_rules/N), and
// the listing of toolset elements left unchanged (leftovers/N). The hostile
// inputs, start tags without their ends, keep the scans linear
// (cli_rules_hostile/N, leftovers_hostile/N: N start tags).
//
// bench_convert --write-projects=DIR writes the generated projects and their
// conversions to DIR instead, so that other tools can be timed on the same files.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "copy_baseline.h"
#include "core/cli_rules.h"
#include "core/conversion.h"
#include "core/retarget.h"
#include "core/unchanged_toolsets.h"
#include "project_generator.h"

namespace {

constexpr vs_version target_2019{3};
constexpr cli_target cli_2019_sdk = {cli_version(5), "10.0"};
constexpr std::int64_t sizes[] = {10 << 10, 200 << 10, 2 << 20, 16 << 20};

const std::string& project_of_size(std::int64_t bytes)
{
    static std::map<std::int64_t, std::string> projects;
    auto [at, added] = projects.try_emplace(bytes);
    if (added)
        at->second = generate_project(static_cast<std::size_t>(bytes));
    return at->second;
}

// Counts the changes the conversion tells, as a program's listener prints them.
struct counting_listener final : edit_listener {
    int changes = 0;
    void changed(change_kind, std::string_view) noexcept override { ++changes; }
    bool shifted(line_shift) noexcept override { return true; }
};

// projport.exe's conversion as both programs run it: find_edits applied by
// the conversion into a block of fixed size.
void convert(benchmark::State& state)
{
    const std::string& project = project_of_size(state.range(0));
    std::vector<char> output(project.size() + retarget_max_growth, '\0');
    int changes = 0;
    for (auto _ : state) {
        counting_listener listener;
        fixed_output into(output.data(), output.size());
        edit_application application(project, into, listener);
        (void)find_edits(project, target_2019, edit_application::tell, &application);
        applied_edits applied = application.finish();
        benchmark::DoNotOptimize(applied);
        benchmark::ClobberMemory();
        if (!applied.changed || applied.output_full) {
            state.SkipWithError("the generated project did not convert");
            break;
        }
        changes = listener.changes;
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(project.size()));
    state.counters["changes"] = changes;
}

void run_cli_rules(benchmark::State& state, const std::string& project, cli_target target = cli_2019_sdk)
{
    // The SDK version is two bytes longer than the generated one, once; the
    // repeated groups get a line each.
    std::vector<char> output(project.size() * 2 + 64, '\0');
    int edits = 0;
    for (auto _ : state) {
        counting_listener listener;
        fixed_output into(output.data(), output.size());
        edit_application application(project, into, listener);
        cli_edits r = find_cli_edits(project, target, edit_application::tell, &application);
        applied_edits applied = application.finish();
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(applied);
        benchmark::ClobberMemory();
        if (applied.output_full) {
            state.SkipWithError("the converted text did not fit");
            break;
        }
        edits = listener.changes;
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(project.size()));
    state.counters["changes"] = edits;
}

void cli_rules(benchmark::State& state)
{
    const std::string& project = project_of_size(state.range(0));
    run_cli_rules(state, project);
    if (state.counters["changes"] == 0)
        state.SkipWithError("the generated project did not convert");
}

void count_unchanged(void* context, const unchanged_toolset&)
{
    ++*static_cast<int*>(context);
}

void run_unchanged(benchmark::State& state, const std::string& text)
{
    int found = 0;
    for (auto _ : state) {
        found = 0;
        std::size_t count = find_unchanged_toolsets(text, "v143", "", count_unchanged, &found);
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
    state.counters["found"] = found;
}

// The generated project still names v140 everywhere: every element is listed.
void leftovers(benchmark::State& state)
{
    run_unchanged(state, project_of_size(state.range(0)));
}

// N start tags without their ends, then one whole element.
std::string hostile_text(std::int64_t start_tags)
{
    std::string text;
    for (std::int64_t i = 0; i < start_tags; ++i)
        text += "<PlatformToolset>v110\n";
    return text + "<PlatformToolset>v140</PlatformToolset>\n";
}

void cli_rules_hostile(benchmark::State& state)
{
    run_cli_rules(state, hostile_text(state.range(0)));
}

void leftovers_hostile(benchmark::State& state)
{
    run_unchanged(state, hostile_text(state.range(0)));
}

// N times each group that makes the rules insert, as public projects have
// them: Globals groups before the import (the SDK goes into the last),
// configuration groups without a toolset (zlib's vc10 projects) and
// configuration groups with a ladder that lacks the target's rung (SDL's
// hidapi). Each insertion looks at its group once, and the whole file is
// looked ahead over once: eight times the groups take eight times as long.
std::string repeated_groups(std::int64_t groups)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Project DefaultTargets=\"Build\">\r\n";
    for (std::int64_t i = 0; i < groups; ++i)
        text += "  <PropertyGroup Label=\"Globals\">\r\n    <RootNamespace>zlib</RootNamespace>\r\n"
                "  </PropertyGroup>\r\n";
    text += "  <Import Project=\"$(VCTargetsPath)\\Microsoft.Cpp.Default.props\" />\r\n";
    const std::string condition = " Condition=\"'$(Configuration)|$(Platform)'=='Release|Itanium'\" Label=\"Configuration\"";
    for (std::int64_t i = 0; i < groups; ++i) {
        text += "  <PropertyGroup" + condition + ">\r\n    <ConfigurationType>DynamicLibrary</ConfigurationType>\r\n"
                "  </PropertyGroup>\r\n";
        text += "  <PropertyGroup" + condition + ">\r\n"
                "    <PlatformToolset Condition=\"'$(VisualStudioVersion)'=='16'\">v142</PlatformToolset>\r\n"
                "    <PlatformToolset Condition=\"'$(VisualStudioVersion)'=='17'\">v143</PlatformToolset>\r\n"
                "  </PropertyGroup>\r\n";
    }
    return text + "</Project>\r\n";
}

void cli_rules_groups(benchmark::State& state)
{
    static std::map<std::int64_t, std::string> texts;
    auto [at, added] = texts.try_emplace(state.range(0));
    if (added)
        at->second = repeated_groups(state.range(0));
    run_cli_rules(state, at->second, {cli_version(7), "10.0", {}});
    // A toolset and a rung per pair of groups, and the SDK once.
    if (state.counters["changes"] != static_cast<double>(2 * state.range(0) + 1))
        state.SkipWithError("the repeated groups did not get their insertions");
}

void copy(benchmark::State& state)
{
    copy_baseline(state, project_of_size(state.range(0)));
}

bool write_file(const std::string& path, std::string_view bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// project-<bytes>.vcxproj and, converted to 2019, project-<bytes>.2019.vcxproj.
int write_projects(const std::string& folder)
{
    for (std::int64_t bytes : sizes) {
        const std::string& project = project_of_size(bytes);
        std::string converted(project.size() + retarget_max_growth, '\0');
        retarget_result r = retarget_text(project, converted.data(), converted.size(), target_2019, {});
        converted.resize(r.length);
        std::string name = folder + "/project-" + std::to_string(bytes);
        if (!write_file(name + ".vcxproj", project) || !write_file(name + ".2019.vcxproj", converted)) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    constexpr std::string_view write_option = "--write-projects=";
    if (argc == 2 && std::string_view(argv[1]).starts_with(write_option))
        return write_projects(argv[1] + write_option.size());

    for (std::int64_t bytes : sizes) {
        benchmark::RegisterBenchmark("convert", convert)->Arg(bytes);
        benchmark::RegisterBenchmark("cli_rules", cli_rules)->Arg(bytes);
        benchmark::RegisterBenchmark("leftovers", leftovers)->Arg(bytes);
        benchmark::RegisterBenchmark("memcpy", copy)->Arg(bytes);
    }
    // 48,000 start tags make 1 MB, 384,000 make 8 MB: a scan that searches
    // again from inside each value takes seconds on the first, minutes on
    // the second.
    for (std::int64_t groups : {4000, 32000})
        benchmark::RegisterBenchmark("cli_rules_groups", cli_rules_groups)->Arg(groups);
    for (std::int64_t start_tags : {48000, 384000}) {
        benchmark::RegisterBenchmark("cli_rules_hostile", cli_rules_hostile)->Arg(start_tags);
        benchmark::RegisterBenchmark("leftovers_hostile", leftovers_hostile)->Arg(start_tags);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
