// Speed of the formatted engine on the longest record layouts of the system: a PR6 row with 20
// unknowns, a TI-CLASSIC4 record and an OB1 line with 6 observables, each written into a line and
// read back from such lines. bench/gfortran_textio.f90 does the same work with gfortran's runtime on
// the same values (built from the same integer formulas and tables); bench/run_textio.sh runs both.
//
// With QUELMAR_BENCH_SAMPLE set in the environment, the program prints the first record of each
// layout and exits, so that the script can check that both sides format the same numbers.
#include "textio/format.hpp"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

namespace {

using quelmar::textio::float128;
using quelmar::textio::Format;
using quelmar::textio::InItem;
using quelmar::textio::OutItem;

constexpr int nrec = 1000;
constexpr int nunk = 20;

const char* const fmt_ti =
    "(i2,i4,f16.12,1x,a,i3,f11.6,2(f14.7,2f14.8),e23.15,1x,a,      i6,2e23.15,2f14.3,1x,l1,"
    "4(1x,e15.7),1x,f12.2,3f10.4,f15.5,i7,     2f15.5,2f8.2,6(f15.3),f15.8,              "
    "                        f8.1,e18.10,6f9.3,3e16.8)";
const char* const fmt_pr6 =
    "(a,i2,1X,I2.2,4(1X,I2),F11.7,1X,a,i4,i3,i3,6f14.3,2e11.3,f9.3,2(f9.3,f13.3),3f9.3,f8.1,"
    "e18.10,6f9.3,2i3,1x,e23.15,e15.7,1x,l1,2i6,00020(i8,2e23.15),i5,i3,2(1x,l1),2i5,1x,a)";
const char* const fmt_ob1 =
    "(4x,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,a1,1x,I1,F12.9,i6,06(4x,a2),6(f14.3,i1,i1),1x,i5,1x,"
    "l1,1x,e15.7,1x,l1,1x,e15.7,1x,l1,f11.4,1x,e15.7,1x,l1,1x,e15.7,1x,l1,1x,e15.7,1x,l1)";

// Digits of each integer and decimal scale of each real, in item order (as in gfortran_textio.f90).
constexpr std::array<int, 5> ti_nd = {2, 4, 3, 6, 7};
constexpr std::array<int, 43> ti_p = {1, 2, 4, 3, 3, 4, 3, 3, 2, 5, 0, 8, 8, 1, 3, 6, 2, 7, 3, 3, 3, 7,
                                      7, 7, 3, 3, 9, 9, 9, 9, 9, 9, 4, 4, 3, 3, 3, 3, 3, 3, 2, 5, 1};
constexpr std::array<int, 37> pr6_nd = {2, 2, 2, 2, 2, 2, 4, 3, 3, 3, 3, 6, 6, 8, 8, 8, 8, 8, 8,
                                        8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 5, 3, 5, 5};
constexpr std::array<int, 27> pr6_p = {1, 8, 8, 8, 8, 8, 8, 2, 2, 3, 3, 7, 3, 7,
                                       3, 3, 3, 4, 4, 3, 3, 3, 3, 3, 3, 1, 2};
constexpr std::array<int, 21> ob1_nd = {2, 2, 2, 2, 2, 2, 1, 6, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 5};
constexpr std::array<int, 14> ob1_p = {1, 0, 8, 8, 8, 8, 8, 8, 2, 3, 4, 1, 5, 0};

std::int64_t mixed(int k, int r, std::int64_t modulus) {
    return (static_cast<std::int64_t>(k) * 7919 + static_cast<std::int64_t>(r) * 104729) % modulus;
}

int ival(int k, int r, int nd) {
    std::int64_t m = 1;
    for (int i = 0; i < nd; ++i) m *= 10;
    return static_cast<int>(mixed(k, r, m));
}

// (m * 1.234567890123e-6 - 0.6) * 10^p, operation for operation as the Fortran side computes it.
double dval(int k, int r, int p) {
    double scale = 1;
    for (int i = 0; i < p; ++i) scale *= 10;
    return (static_cast<double>(mixed(k, r, 1000003)) * 1.234567890123e-6 - 0.6) * scale;
}

// The items of every record of one layout, and the lines gfortran-style writing gives for them.
struct Layout {
    Format fmt;
    std::vector<std::vector<OutItem>> items; // per record
    std::vector<std::string> lines;

    explicit Layout(const char* text) : fmt(text) {}
};

// One record's values, indexed 1-based like the Fortran arrays.
struct Values {
    std::vector<int> i;
    std::vector<double> d;
    int r;
    Values(int nint, int ndbl, const int* nd, const int* p, int rec) : i(nint + 1), d(ndbl + 1), r(rec) {
        for (int k = 1; k <= nint; ++k) i[k] = ival(k, rec, nd[k - 1]);
        for (int k = 1; k <= ndbl; ++k) d[k] = dval(k, rec, p[k - 1]);
    }
};

bool lg(int k, int r) {
    return (r + k) % 2 == 0;
} // r is 0-based here

Layout make_ti() {
    Layout l(fmt_ti);
    for (int r = 0; r < nrec; ++r) {
        const Values v(5, 43, ti_nd.data(), ti_p.data(), r);
        const float128 mjd = float128(54614) + float128((r * 37) % 2880) / float128(2880);
        std::vector<OutItem> it = {v.i[1], v.i[2], v.d[1], "BELL", v.i[3], v.d[2]};
        for (int k = 3; k <= 8; ++k) it.emplace_back(v.d[k]);
        it.insert(it.end(), {v.d[9], "TI-CLASSIC4", v.i[4], v.d[10], v.d[11], v.d[12], v.d[13], lg(1, r)});
        for (int k = 14; k <= 22; ++k) it.emplace_back(v.d[k]);
        it.emplace_back(v.i[5]);
        for (int k = 23; k <= 32; ++k) it.emplace_back(v.d[k]);
        it.emplace_back(mjd);
        for (int k = 33; k <= 43; ++k) it.emplace_back(v.d[k]);
        l.items.push_back(std::move(it));
    }
    return l;
}

Layout make_pr6() {
    Layout l(fmt_pr6);
    for (int r = 0; r < nrec; ++r) {
        const Values v(37, 27, pr6_nd.data(), pr6_p.data(), r);
        std::vector<OutItem> it = {"PR6 "};
        for (int k = 1; k <= 6; ++k) it.emplace_back(v.i[k]);
        it.insert(it.end(), {v.d[1], "BELL", v.i[7], v.i[8], v.i[9]});
        for (int k = 2; k <= 25; ++k) it.emplace_back(v.d[k]);
        it.insert(it.end(), {v.i[10], v.i[11], v.d[26], v.d[27], lg(1, r), v.i[12], v.i[13]});
        for (int k = 1; k <= nunk; ++k)
            it.insert(it.end(), {v.i[13 + k], dval(100 + 2 * k, r, 0), dval(101 + 2 * k, r, 3)});
        it.insert(it.end(), {v.i[34], v.i[35], lg(2, r), lg(3, r), v.i[36], v.i[37], "GPS "});
        l.items.push_back(std::move(it));
    }
    return l;
}

Layout make_ob1() {
    Layout l(fmt_ob1);
    for (int r = 0; r < nrec; ++r) {
        const Values v(21, 14, ob1_nd.data(), ob1_p.data(), r);
        std::vector<OutItem> it;
        for (int k = 1; k <= 6; ++k) it.emplace_back(v.i[k]);
        it.insert(it.end(),
                  {v.d[1], "BELL", "G", v.i[7], v.d[2], v.i[8], "L1", "L2", "C1", "P2", "S1", "S2"});
        for (int k = 1; k <= 6; ++k) it.insert(it.end(), {v.d[2 + k], v.i[7 + 2 * k], v.i[8 + 2 * k]});
        it.insert(it.end(), {v.i[21], lg(1, r), v.d[9], lg(2, r), v.d[10], lg(3, r), v.d[11], v.d[12],
                             lg(4, r), v.d[13], lg(5, r), v.d[14], lg(6, r)});
        l.items.push_back(std::move(it));
    }
    return l;
}

// Read targets shaped like each layout's items: one per item, of the item's type.
struct Targets {
    std::deque<std::int32_t> i;
    std::deque<double> d;
    std::deque<float128> q;
    std::deque<bool> b;
    std::deque<std::string> s;
    std::vector<InItem> items;

    explicit Targets(const std::vector<OutItem>& like) {
        for (const OutItem& o : like) {
            switch (o.kind()) {
            case OutItem::Kind::Int:
                items.emplace_back(i.emplace_back(0));
                break;
            case OutItem::Kind::Real32:
            case OutItem::Kind::Real64:
                items.emplace_back(d.emplace_back(0));
                break;
            case OutItem::Kind::Real128:
                items.emplace_back(q.emplace_back(0));
                break;
            case OutItem::Kind::Logical:
                items.emplace_back(b.emplace_back(false));
                break;
            case OutItem::Kind::Text:
                items.emplace_back(s.emplace_back(o.as_text().size(), ' '));
                break;
            }
        }
    }
};

const Layout& layout(int which) {
    static const Layout ti = make_ti(), pr6 = make_pr6(), ob1 = make_ob1();
    return which == 0 ? pr6 : which == 1 ? ti : ob1;
}

const std::vector<std::string>& lines(int which) {
    static const auto make = [](int w) {
        std::vector<std::string> v;
        const Layout& l = layout(w);
        for (const auto& it : l.items) {
            std::string s;
            l.fmt.write_items(s, it);
            v.push_back(std::move(s));
        }
        return v;
    };
    static const std::vector<std::string> all[3] = {make(0), make(1), make(2)};
    return all[which];
}

void BM_Write(benchmark::State& state, int which) {
    const Layout& l = layout(which);
    std::string out;
    out.reserve(2048);
    std::size_t r = 0;
    for (auto _ : state) {
        out.clear();
        l.fmt.write_items(out, l.items[r]);
        benchmark::DoNotOptimize(out.data());
        if (++r == l.items.size()) r = 0;
    }
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Read(benchmark::State& state, int which) {
    const std::vector<std::string>& in = lines(which);
    Targets t(layout(which).items[0]);
    const Format& fmt = layout(which).fmt;
    std::size_t r = 0;
    int bad = 0;
    for (auto _ : state) {
        const auto st = fmt.read_items(in[r], t.items);
        bad += st.ok() ? 0 : 1;
        benchmark::ClobberMemory();
        if (++r == in.size()) r = 0;
    }
    if (bad) state.SkipWithError("a read failed");
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_Write, PR6_20, 0);
BENCHMARK_CAPTURE(BM_Write, TI_CLASSIC4, 1);
BENCHMARK_CAPTURE(BM_Write, OB1_6, 2);
BENCHMARK_CAPTURE(BM_Read, PR6_20, 0);
BENCHMARK_CAPTURE(BM_Read, TI_CLASSIC4, 1);
BENCHMARK_CAPTURE(BM_Read, OB1_6, 2);

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QUELMAR_BENCH_SAMPLE") != nullptr) {
        for (int w : {1, 0, 2}) std::printf("%s\n", lines(w)[0].c_str());
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
