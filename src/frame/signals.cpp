#include "frame/signals.hpp"

#include "frame/log.hpp"
#include "textio/format.hpp"

namespace quelmar::frame {

void set_constants(Config& cfg, Constants& k, SignalTables& s, Log& log) {
    cfg.dtdjmxyz_max = cfg.dtsec_xyzmax / 86400.0;
    cfg.dtdjmxyz_max2 = cfg.dtdjmxyz_max * cfg.dtdjmxyz_max;

    k.pi = 3.141592653589793;
    k.c = 299792458.0;
    k.re = 6371000.0;
    s.rekm = k.re / 1000.0;
    k.hionokm1 = cfg.hionokm;
    // Each carrier is its integer multiple of the fundamental frequency, formed in double.
    s.f0 = 10.23e6;
    k.f1 = static_cast<double>(s.if1f0) * s.f0;
    k.f2 = static_cast<double>(s.if2f0) * s.f0;
    k.f5 = static_cast<double>(s.if5f0) * s.f0;
    k.f7 = static_cast<double>(s.if7f0) * s.f0;
    k.f1f1 = k.f1 * k.f1;
    k.f2f2 = k.f2 * k.f2;
    s.f1f2 = k.f1 * k.f2;
    k.f7f7 = k.f7 * k.f7;
    k.f5f5 = k.f5 * k.f5;
    k.f1f7 = k.f1 * k.f7;
    k.f5f7 = k.f5 * k.f7;

    if (!log.silent) {
        static const textio::Format fa("(a,e23.15)");
        log.list();
        const struct {
            const char* label;
            double v;
        } lines[] = {{"f0=", s.f0},     {"f1=", k.f1},     {"f2=", k.f2},     {"f1f1=", k.f1f1},
                     {"f2f2=", k.f2f2}, {"f1f2=", s.f1f2}, {"f5=", k.f5},     {"f7=", k.f7},
                     {"f5f5=", k.f5f5}, {"f7f7=", k.f7f7}, {"f1f7=", k.f1f7}, {"f5f7=", k.f5f7}};
        for (const auto& l : lines) log.formatted(fa, l.label, l.v);
        log.list();
    }

    // Factor carrying the ionospheric term of the geometry-free combination to each combination;
    // -99.9 where none is defined.
    const double d = k.f1f1 - k.f2f2;
    auto& x = s.xion_li_2_lx;
    x(1, 1) = k.f2f2 / d;
    x(2, 1) = -k.f2f2 / d;
    x(1, 2) = k.f1f1 / d;
    x(2, 2) = -k.f1f1 / d;
    x(1, 3) = 0;
    x(2, 3) = 0;
    x(1, 4) = 1;
    x(2, 4) = 1;
    x(1, 5) = s.f1f2 / d;
    x(2, 5) = s.f1f2 / d;
    x(1, 6) = -99.9;
    x(2, 6) = 0;
    x(1, 7) = k.f1f1 * k.f2f2 / d / k.f7f7;
    x(2, 7) = -x(1, 7);
    x(1, 8) = 0;
    x(2, 8) = 0;
    x(1, 9) = k.f2f2 * (k.f1f1 - k.f7f7) / k.f7f7 / d;
    x(2, 9) = 0;
    x(1, 10) = k.f1 * k.f2f2 / k.f7 / d;
    x(2, 10) = x(1, 10);
    x(1, 11) = -99.9;
    x(2, 11) = 0;
    x(1, 12) = k.f1f1 * k.f2f2 / d / k.f5f5;
    x(2, 12) = -x(1, 12);
    x(1, 13) = k.f1f1 * k.f2f2 / d / k.f5f7;
    x(2, 13) = x(1, 13);
    x(1, 14) = -99.9;
    x(2, 14) = 0;
    x(1, 15) = -99.9;
    x(2, 15) = k.f2f2 * (k.f1 - k.f5) / k.f5 / k.f7 / d;
    if (!log.silent) {
        static const textio::Format fx("(a,2i3,e23.15)");
        for (int kind = 1; kind <= nkind_obs; ++kind)
            for (int comb = 1; comb <= ncomb_obs; ++comb)
                log.formatted(fx, "kind_obs,comb_obs,xion_LI_2_Lx=", kind, comb, x(kind, comb));
        log.list();
    }

    // The carrier of each band number: fixed data, with negative values marking bands without one.
    const double freq[maxfre] = {1575.42e6, 1227.60e6, -9999e6, -9999e6, 1176.45e6,
                                 -9999e6,   1207.14e6, -9.999,  -9.999};
    for (int b = 1; b <= maxfre; ++b) s.freq(b) = freq[b - 1];
    auto& w = s.wavelength_;
    const auto& f = s.freq;
    w(1) = k.c / f(1);
    w(2) = k.c / f(2);
    w(3) = k.c / (f(1) + f(2));
    w(4) = w(2) - w(1);
    w(5) = k.c / (f(1) - f(2));
    w(6) = k.c / (f(1) - f(2));
    w(7) = k.c / f(7);
    w(8) = k.c / (f(1) + f(7));
    w(9) = w(7) - w(1);
    w(10) = k.c / (f(1) - f(7));
    w(11) = w(10);
    w(12) = k.c / f(5);
    w(13) = k.c / (f(7) - f(5));
    w(14) = w(13);
    w(15) = w(10);

    for (int i = 1; i <= nkind_obs; ++i)
        for (int j = 1; j <= ncomb_obs; ++j) {
            const double sg = cfg.sigma_apriori_prefit_gps0(i, j);
            s.s2_apriori_prefit_gps(i, j) = sg * sg;
            if (!log.silent) log.list("i,j,s2_apriori_prefit_gps=", i, j, s.s2_apriori_prefit_gps(i, j));
        }

    // Option flags of the empirical ionosphere model.
    for (int i = 1; i <= 30; ++i) s.jf(i) = true;
    for (int i : {2, 3, 5, 6, 23, 26, 28, 29, 30}) s.jf(i) = false;

    if (!log.silent)
        for (int ic = 1; ic <= ncomb_obs; ++ic) log.list("ic,wavelength_=", ic, w(ic));
}

} // namespace quelmar::frame
