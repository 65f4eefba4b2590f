// The conversion of generated 2015 projects to 2019, each size beside a plain
// memcpy of the same bytes, the floor that any rewrite of the text pays.
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

#include "convert/retarget.h"
#include "project_generator.h"

namespace {

constexpr vs_version target_2019 = 3;
constexpr std::int64_t sizes[] = {10 << 10, 200 << 10, 2 << 20, 16 << 20};

const std::string& project_of_size(std::int64_t bytes)
{
    static std::map<std::int64_t, std::string> projects;
    auto [at, added] = projects.try_emplace(bytes);
    if (added)
        at->second = generate_project(static_cast<std::size_t>(bytes));
    return at->second;
}

void count_change(void* context, change_kind, std::string_view)
{
    ++*static_cast<int*>(context);
}

void convert(benchmark::State& state)
{
    const std::string& project = project_of_size(state.range(0));
    std::vector<char> output(project.size() + retarget_max_growth, '\0');
    int changes = 0;
    for (auto _ : state) {
        changes = 0;
        retarget_result r = retarget_text(project, output.data(), output.size(), target_2019, {count_change, &changes});
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
        if (!r.changed || r.overflow) {
            state.SkipWithError("the generated project did not convert");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(project.size()));
    state.counters["changes"] = changes;
}

void copy(benchmark::State& state)
{
    const std::string& project = project_of_size(state.range(0));
    std::vector<char> output(project.size(), '\0');
    for (auto _ : state) {
        std::memcpy(output.data(), project.data(), project.size());
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(project.size()));
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
        benchmark::RegisterBenchmark("memcpy", copy)->Arg(bytes);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
