// rinex_to_stream: turns RINEX observation files and GPS navigation files into the program's input
// message stream on standard output.
//
//   rinex_to_stream [--nav FILE]... OBSFILE...
//
// Per receiver, before its first observation: XYZ, ANT, AND, WLF (time-tagged with that epoch), and
// once for the run a LEA line; then the EPH lines due at the epoch, then its OB1 lines. Each GPS navigation
// record becomes an EPH line written before the first epoch at or after its toc minus 2 hours (the start of
// its usual validity span), records still pending after the last epoch are written at the end. Observations
// become OB1 lines with L1 L2 C1|P1 P2 for GPS satellites, merged epoch by epoch over the receivers
// (command-line order, then PRN).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lib/rinex.hpp"
#include "lib/screening.hpp"
#include "textio/format.hpp"

namespace {

using namespace quelmar;
namespace rnx = quelmar::tools::rinex;
namespace scr = quelmar::tools::screening;

constexpr double f_l1 = 1575.42e6, f_l2 = 1227.60e6; // GPS carrier frequencies, Hz

// GPS - UTC in seconds at a date (IERS Bulletin C leap-second dates); -1 before 1996, where this
// table does not reach.
int gps_minus_utc(int year, int month) {
    struct Step {
        int year, month, value;
    };
    static constexpr Step steps[] = {{2017, 1, 18}, {2015, 7, 17}, {2012, 7, 16}, {2009, 1, 15},
                                     {2006, 1, 14}, {1999, 1, 13}, {1997, 7, 12}, {1996, 1, 11}};
    for (const Step& s : steps)
        if (year > s.year || (year == s.year && month >= s.month)) return s.value;
    return -1;
}

double abs_time(const rnx::Time& t) {
    return t.mjd * 86400.0 + t.sod;
}

struct Formats {
    textio::Format head_xyz{"(a,5(1x,i2),f5.1,1x,a,1x,3f14.4)"};
    textio::Format head_ant{"(a,5(1x,i2),f5.1,1x,a,1x,a20,a20)"};
    textio::Format head_wlf{"(a,5(1x,i2),f5.1,1x,a,1x,9i6)"};
    textio::Format head_lea{"(a,5(1x,i2),f5.1,1x,i6)"};
    textio::Format eph{"(a,i2,1x,i2.2,4(1x,i2),f5.1,3d19.12,7(3x,4d19.12))"};
    textio::Format ob1{"(a,i2,1x,i2,4(1x,i2),f11.7,1x,a,1x,a1,1x,i1,f12.9,i6,4(4x,a2),4(f14.3,i1,i1),"
                       "1x,i5,1x,l1,1x,e15.7,1x,l1,1x,e15.7,1x,l1,f11.4,1x,e15.7,1x,l1)"};
};

struct Receiver {
    rnx::ObsReader reader;
    rnx::ObsEpoch epoch;
    bool have_epoch = false;
    bool headers_written = false;
    std::string name; // 4 characters
    std::map<int, scr::PairState> pairs;
};

void emit(const std::string& s) {
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fputc('\n', stdout);
}

int yy(int year) {
    return year % 100;
}

void write_headers(const Formats& f, const Receiver& r, const rnx::Time& t) {
    const rnx::ObsHeader& h = r.reader.header();
    const int y = yy(t.year);
    const double s = std::floor(t.sec * 10.0 + 1e-6) / 10.0; // f5.1 of the time tag, never rounded up to 60
    emit(f.head_xyz.write(std::string("XYZ   "), y, t.month, t.day, t.hour, t.minute, s, r.name,
                          h.approx_xyz[0], h.approx_xyz[1], h.approx_xyz[2]));
    std::string serial = h.antenna_serial; // a20 would right-justify a shorter item
    serial.resize(20, ' ');
    std::string type = h.antenna_model;
    type.resize(16, ' ');
    type += h.radome.empty() || rnx::detail::trim(h.radome).empty() ? std::string("NONE") : h.radome;
    emit(f.head_ant.write(std::string("ANT   "), y, t.month, t.day, t.hour, t.minute, s, r.name, serial,
                          type));
    emit(f.head_xyz.write(std::string("AND   "), y, t.month, t.day, t.hour, t.minute, s, r.name,
                          h.delta_hen[0], h.delta_hen[1], h.delta_hen[2]));
    int w1 = 1, w2 = 1;
    if (h.version < 3) {
        w1 = h.wavelength_factor[0];
        w2 = h.wavelength_factor[1];
    }
    emit(f.head_wlf.write(std::string("WLF   "), y, t.month, t.day, t.hour, t.minute, s, r.name, w1, w2, 0, 0,
                          0, 0, 0, 0, 0));
}

void write_eph(const Formats& f, const rnx::GpsNavRecord& n) {
    const auto& o = n.orbit;
    emit(f.eph.write(std::string("EPH "), n.prn, yy(n.toc.year), n.toc.month, n.toc.day, n.toc.hour,
                     n.toc.minute, n.toc.sec, n.clock[0], n.clock[1], n.clock[2], o[0][0], o[0][1], o[0][2],
                     o[0][3], o[1][0], o[1][1], o[1][2], o[1][3], o[2][0], o[2][1], o[2][2], o[2][3], o[3][0],
                     o[3][1], o[3][2], o[3][3], o[4][0], o[4][1], o[4][2], o[4][3], o[5][0], o[5][1], o[5][2],
                     o[5][3], o[6][0], o[6][1], o[6][2], o[6][3]));
}

// Indices in `types` of the first of `codes` present in the list, in that order of preference.
std::vector<int> type_indices(const std::vector<std::string>& types,
                              std::initializer_list<const char*> codes) {
    std::vector<int> out;
    for (const char* c : codes)
        for (std::size_t i = 0; i < types.size(); ++i)
            if (types[i] == c) out.push_back(static_cast<int>(i));
    return out;
}

void write_observations(const Formats& f, Receiver& r) {
    const rnx::ObsHeader& h = r.reader.header();
    const std::vector<std::string>* types = h.types_for('G');
    if (types == nullptr) return;
    // RINEX 3 codes by preference: the P(Y)/Z-tracking signals as in RINEX 2 files, then L2C.
    const bool v3 = h.version >= 3;
    const std::vector<int> il1 =
        v3 ? type_indices(*types, {"L1C", "L1W", "L1P", "L1X"}) : type_indices(*types, {"L1"});
    const std::vector<int> il2 =
        v3 ? type_indices(*types, {"L2W", "L2P", "L2L", "L2X", "L2S"}) : type_indices(*types, {"L2"});
    const std::vector<int> ip1 = v3 ? type_indices(*types, {"C1W", "C1P"}) : type_indices(*types, {"P1"});
    const std::vector<int> ic1 = v3 ? type_indices(*types, {"C1C", "C1X"}) : type_indices(*types, {"C1"});
    const std::vector<int> ip2 =
        v3 ? type_indices(*types, {"C2W", "C2P", "C2L", "C2X", "C2S"}) : type_indices(*types, {"P2"});
    if (il1.empty() || il2.empty() || ip2.empty() || (ip1.empty() && ic1.empty())) return;
    const rnx::ObsEpoch& e = r.epoch;
    std::vector<const rnx::SatObs*> sats;
    for (const rnx::SatObs& s : e.sats)
        if (s.system == 'G') sats.push_back(&s);
    std::stable_sort(sats.begin(), sats.end(), [](auto a, auto b) { return a->prn < b->prn; });
    const rnx::Time& t = e.time;
    for (const rnx::SatObs* s : sats) {
        // The first present value of the candidates. A value F14.3 cannot hold is treated as missing
        // rather than written as asterisks.
        auto get = [&](const std::vector<int>& candidates) -> const rnx::ObsValue* {
            for (int i : candidates) {
                if (static_cast<std::size_t>(i) >= s->values.size()) continue;
                const rnx::ObsValue& v = s->values[static_cast<std::size_t>(i)];
                if (v.present && std::fabs(v.value) < 9.9e9) return &v;
            }
            return nullptr;
        };
        const rnx::ObsValue* l1 = get(il1);
        const rnx::ObsValue* l2 = get(il2);
        const rnx::ObsValue* p2 = get(ip2);
        const rnx::ObsValue* c1 = get(ip1);
        const char* c1code = "P1";
        if (c1 == nullptr) {
            c1 = get(ic1);
            c1code = "C1";
        }
        if (!l1 || !l2 || !p2 || !c1) continue;
        scr::Observation ob;
        ob.t = abs_time(t);
        ob.l1 = l1->value;
        ob.l2 = l2->value;
        ob.p1 = c1->value;
        ob.p2 = p2->value;
        ob.f1 = f_l1;
        ob.f2 = f_l2;
        scr::PairState& ps = r.pairs[s->prn];
        const int arc_before = ps.narch;
        const scr::ScreeningResult res = scr::screen_observation(ps, ob, scr::ScreeningOptions{});
        // The start of every arc, the first one included, is flagged so the reader resets its state.
        const bool slip = res.cycleslip_ || res.narch1 != arc_before;
        const double clock = e.has_clock ? e.clock_offset : 0.0;
        emit(f.ob1.write(std::string("OB1 "), s->prn, yy(t.year), t.month, t.day, t.hour, t.minute, t.sec,
                         r.name, std::string("G"), e.flag, clock, 4, std::string("L1"), std::string("L2"),
                         std::string(c1code), std::string("P2"), l1->value, l1->lli % 10, l1->ssi % 10,
                         l2->value, l2->lli % 10, l2->ssi % 10, c1->value, c1->lli % 10, c1->ssi % 10,
                         p2->value, p2->lli % 10, p2->ssi % 10, res.narch1, slip, res.dtsec_ob1,
                         res.cycleslip_dt, res.d2li, res.cycleslip_d2li, res.xli_lir, res.dbw,
                         res.cycleslip_dbw));
    }
}

// Reads the next usable epoch of `r` (records of cycle-slip corrections, flag 6, are passed over).
void advance(Receiver& r) {
    r.have_epoch = false;
    while (r.reader.next(r.epoch)) {
        if (r.epoch.flag == 6) continue;
        r.have_epoch = true;
        return;
    }
}

int run(int argc, char** argv) {
    std::vector<std::string> navs, obs;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--nav") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "rinex_to_stream: --nav needs a file name\n");
                return 2;
            }
            navs.push_back(argv[++i]);
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "rinex_to_stream: unknown option %s\n", a.c_str());
            return 2;
        } else {
            obs.push_back(a);
        }
    }
    if (obs.empty()) {
        std::fprintf(stderr, "usage: rinex_to_stream [--nav FILE]... OBSFILE...\n");
        return 2;
    }
    const Formats f;
    std::vector<rnx::GpsNavRecord> nav;
    for (const std::string& p : navs) {
        rnx::NavReader nr;
        nr.open(p);
        rnx::GpsNavRecord rec;
        while (nr.next(rec)) nav.push_back(rec);
    }
    std::stable_sort(nav.begin(), nav.end(), [](const auto& a, const auto& b) {
        const double ta = abs_time(a.toc), tb = abs_time(b.toc);
        return ta != tb ? ta < tb : a.prn < b.prn;
    });
    std::vector<std::unique_ptr<Receiver>> recs;
    for (const std::string& p : obs) {
        auto r = std::make_unique<Receiver>();
        r->reader.open(p);
        r->name = r->reader.header().marker;
        r->name.resize(4, ' ');
        for (const auto& o : recs)
            if (o->name == r->name) {
                std::fprintf(stderr, "rinex_to_stream: %s: marker %s already given by %s\n", p.c_str(),
                             r->name.c_str(), o->reader.path().c_str());
                return 1;
            }
        advance(*r);
        recs.push_back(std::move(r));
    }
    std::size_t next_nav = 0;
    bool lea_done = false;
    for (;;) {
        const Receiver* first = nullptr;
        for (const auto& r : recs)
            if (r->have_epoch && (!first || abs_time(r->epoch.time) < abs_time(first->epoch.time)))
                first = r.get();
        if (first == nullptr) break;
        const rnx::Time t = first->epoch.time;
        const double now = abs_time(t);
        bool new_receiver = false;
        for (auto& r : recs)
            if (r->have_epoch && std::fabs(abs_time(r->epoch.time) - now) < 1e-3 && !r->headers_written) {
                write_headers(f, *r, t);
                r->headers_written = new_receiver = true;
            }
        if (new_receiver && !lea_done) {
            int leap = -1;
            for (const auto& r : recs)
                if (leap < 0 && r->reader.header().has_leap_seconds) leap = r->reader.header().leap_seconds;
            if (leap < 0) leap = gps_minus_utc(t.year, t.month);
            if (leap >= 0)
                emit(f.head_lea.write(std::string("LEA   "), yy(t.year), t.month, t.day, t.hour, t.minute,
                                      std::floor(t.sec * 10.0 + 1e-6) / 10.0, leap));
            lea_done = true;
        }
        while (next_nav < nav.size() && abs_time(nav[next_nav].toc) - 7200.0 <= now + 1e-3)
            write_eph(f, nav[next_nav++]);
        for (auto& r : recs)
            if (r->have_epoch && std::fabs(abs_time(r->epoch.time) - now) < 1e-3) {
                write_observations(f, *r);
                advance(*r);
            }
    }
    while (next_nav < nav.size()) write_eph(f, nav[next_nav++]);
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "rinex_to_stream: error writing standard output\n");
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "rinex_to_stream: %s\n", e.what());
        return 1;
    }
}
