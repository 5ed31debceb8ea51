// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The benchmark program's cases. Each case file registers itself with
// QM_BENCH; `quillmark_bench [--entries N] [case ...]` runs them in one
// process and prints their figures.
#include <QString>
#include <functional>
#include <string>
#include <vector>

namespace qmbench {

struct Options {
    long long entries = 200000; // size of the synthetic tree
    QString workFolder;         // a fresh temporary folder for this run
};

struct Case {
    const char* name;
    std::function<void(const Options&)> run;
};

std::vector<Case>& cases();

// A real folder tree of about `entries` entries below `root`, shaped as a
// disk is: one folder of 20,000 files, the rest nested folders of small files.
long long makeDiskTree(const std::string& root, long long entries);
// A real tree of `entries` entries named as files on a disk are (photos,
// documents, music …), the names the search benchmarks look for.
long long makeNamedTree(const std::string& root, long long entries);

struct Registrar {
    Registrar(const char* name, std::function<void(const Options&)> run)
    {
        cases().push_back({name, std::move(run)});
    }
};

} // namespace qmbench

#define QM_BENCH_CONCAT2(a, b) a##b
#define QM_BENCH_CONCAT(a, b) QM_BENCH_CONCAT2(a, b)
#define QM_BENCH(name, fn) static ::qmbench::Registrar QM_BENCH_CONCAT(qmBenchRegistrar, __LINE__)(name, fn)
