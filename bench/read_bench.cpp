// Reads the first sheet of a file with the workbook library alone, as the
// peers of bench/workbook-bench read theirs, and prints the wall-clock and
// processor seconds the reading took.

#include "workbook/Workbook.h"

#include <QString>

#include <chrono>
#include <cstdio>
#include <ctime>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: read_bench FILE\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t startCpu = std::clock();
    try {
        const auto book = workbook::Workbook::Bind(QString::fromLocal8Bit(argv[1]));
        (void)book->GetWorksheet(1);
    } catch (const workbook::WorkbookError& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.description()));
        return 1;
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    std::printf("%.4f %.4f\n", wall.count(), double(std::clock() - startCpu) / CLOCKS_PER_SEC);
    return 0;
}
