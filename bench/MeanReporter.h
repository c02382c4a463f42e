#pragma once
// Google Benchmark's console output as usual, plus the mean real and CPU time per iteration of
// each benchmark over all its repetitions, from which the programs print their ratios at the end.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class MeanReporter : public benchmark::ConsoleReporter {
public:
    struct Mean {
        double real = 0;
        double cpu = 0;
    };

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0 && !r.error_occurred) {
                auto& t = totals_[r.run_name.function_name];
                t.real += r.real_accumulated_time;
                t.cpu += r.cpu_accumulated_time;
                t.iterations += static_cast<double>(r.iterations);
            }
        ConsoleReporter::ReportRuns(runs);
    }

    // Seconds per iteration; 0 when the benchmark did not run.
    Mean Of(const std::string& name) const
    {
        auto it = totals_.find(name);
        if (it == totals_.end() || it->second.iterations == 0)
            return {};
        return {it->second.real / it->second.iterations, it->second.cpu / it->second.iterations};
    }

private:
    struct Total {
        double real = 0, cpu = 0, iterations = 0;
    };
    std::map<std::string, Total> totals_;
};
