#!/usr/bin/env python3
"""Independent reference evaluation of the NeQuick electron-density model
(the 2002 ITU-R package version: CCIR maps, dip-latitude grid, DGR-type
semi-Epstein bottomside, Epstein topside with height-dependent thickness).

Written from the published model description (Radicella & Leitinger 2001;
Leitinger et al. 2005; the NeQuick software documentation delivered with the
ITU-R package; CCIR maps as in ITU-R P.1239).  Standard library only.

Usage:  nequick_reference.py DIR CASES
  DIR    holds CCIRnn.ASC (nn = month + 10) and DIPLATS.ASC (either case)
  CASES  lines "h_km lat_deg lon_deg month flux ut_hours"
Prints one electron density (m^-3) per case line on stdout.
With --check as the only argument after DIR, prints key profile
parameters at a few places to stderr instead.
"""
import math
import os
import sys

DR = math.pi / 180.0


def cexp(a):
    """Exponential clipped to the range used throughout the model (|a| <= 80)."""
    if a > 80.0:
        return 5.5406e34
    if a < -80.0:
        return 1.8049e-35
    return math.exp(a)


def join(fa, fb, alpha, x):
    """Smooth transition: ~fa for x >> 0, ~fb for x << 0."""
    e = cexp(alpha * x)
    return (fa * e + fb) / (e + 1.0)


def epstein(peak, hmax, thick, h):
    """Epstein layer with amplitude 'peak' (peak density = peak/4)."""
    e = cexp((h - hmax) / thick)
    return peak * e / (1.0 + e) ** 2


def open_data(d, names):
    for n in names:
        p = os.path.join(d, n)
        if os.path.exists(p):
            return open(p, 'r', newline=None)
    raise IOError('none of %s found in %s' % (names, d))


class Data:
    def __init__(self, d):
        self.dir = d
        self.ccir = {}
        with open_data(d, ['DIPLATS.ASC', 'diplats.asc']) as f:
            v = [float(t) for t in f.read().split()]
        if len(v) != 37 * 37:
            raise ValueError('dip-latitude grid: %d values' % len(v))
        # rows: latitude -90..90 step 5; columns: longitude -180..180 step 10
        self.dip = [v[37 * k:37 * k + 37] for k in range(37)]

    def coeffs(self, month):
        if month not in self.ccir:
            nn = month + 10
            with open_data(self.dir, ['CCIR%02d.ASC' % nn, 'ccir%02d.asc' % nn]) as f:
                vals = []
                for line in f:
                    line = line.rstrip('\r\n')
                    # Fortran (4E16.8): fixed 16-character fields
                    for i in range(0, len(line), 16):
                        field = line[i:i + 16].strip()
                        if field:
                            vals.append(float(field.replace('D', 'E')))
            if len(vals) < 2858:
                raise ValueError('CCIR file month %d: %d values' % (month, len(vals)))
            # foF2 map: 76 spatial x 13 diurnal, for R12 = 0 then R12 = 100;
            # M(3000)F2 map: 49 x 9, likewise.
            self.ccir[month] = (vals[0:988], vals[988:1976], vals[1976:2417], vals[2417:2858])
        return self.ccir[month]

    def grid(self, r, c):
        """Padded grid: r = 0..38 (lat -95..95), c = 0..38 (lon -190..190)."""
        k, m = r - 1, (c - 1) % 36
        if k < 0 or k > 36:   # beyond a pole: mirror across it, 180 deg away
            k = 1 if k < 0 else 35
            m = (m + 18) % 36
        return self.dip[k][m]

    def dip_latitude(self, lat, lon):
        a = (lat + 90.0) / 5.0
        k0 = min(int(math.floor(a)), 35)
        t = a - k0
        b = ((lon + 180.0) % 360.0) / 10.0
        m0 = min(int(math.floor(b)), 35)
        u = b - m0
        col = []
        for j in range(4):
            z = [self.grid(k0 + i, m0 + j) for i in range(4)]
            col.append(cubic(z, t))
        return cubic(col, u)


def cubic(z, x):
    """Cubic Lagrange through equispaced z at -1, 0, 1, 2, evaluated at x."""
    return (-z[0] * x * (x - 1.0) * (x - 2.0) / 6.0
            + z[1] * (x + 1.0) * (x - 1.0) * (x - 2.0) / 2.0
            - z[2] * (x + 1.0) * x * (x - 2.0) / 2.0
            + z[3] * (x + 1.0) * x * (x - 1.0) / 6.0)


def ccir_map(cf, nharm, q, modip, lat, lon, ut):
    """CCIR numerical map: diurnal Fourier series in UT for each spatial
    coefficient, then the sum over the spatial functions of modip,
    latitude and longitude (q[k] = highest sin(modip) power for order k)."""
    per = 2 * nharm + 1
    tau = (15.0 * ut - 180.0) * DR
    sn = [math.sin(j * tau) for j in range(1, nharm + 1)]
    cs = [math.cos(j * tau) for j in range(1, nharm + 1)]
    smod = math.sin(modip * DR)
    clat = math.cos(lat * DR)
    basis = [smod ** n for n in range(q[0] + 1)]
    for k in range(1, len(q)):
        ck, sk = math.cos(k * lon * DR), math.sin(k * lon * DR)
        for n in range(q[k] + 1):
            f = smod ** n * clat ** k
            basis += [f * ck, f * sk]
    total = 0.0
    for i, g in enumerate(basis):
        row = cf[i * per:(i + 1) * per]
        d = row[0]
        for j in range(nharm):
            d += row[2 * j + 1] * sn[j] + row[2 * j + 2] * cs[j]
        total += d * g
    return total


QF2 = (11, 11, 8, 4, 1, 0, 0, 0, 0)   # 76 spatial functions
QM3 = (6, 7, 5, 2, 1, 0, 0)           # 49 spatial functions


def profile(data, lat, lon, month, flux, ut):
    """Anchor points and thickness parameters for one vertical profile."""
    flux = min(flux, 193.0)            # saturation, R12 = 150
    r12 = math.sqrt(167273.0 + (flux - 63.7) * 1123.6) - 408.99
    ut = ut % 24.0
    lon = lon % 360.0
    # modified dip from the dip-latitude grid: tan I = 2 tan(diplat),
    # tan(modip) = I / sqrt(cos lat)
    dl = data.dip_latitude(lat, lon) * DR
    dip = math.atan2(2.0 * math.sin(dl), math.cos(dl))
    modip = math.atan2(dip, math.sqrt(abs(math.cos(lat * DR)))) / DR
    dip /= DR
    # solar declination (day = 30.5 month - 15) and zenith angle
    t = 30.5 * month - 15.0 + (18.0 - ut) / 24.0
    ma = (0.9856 * t - 3.289) * DR
    la = ma + (1.916 * math.sin(ma) + 0.020 * math.sin(2.0 * ma) + 282.634) * DR
    sdec = 0.39782 * math.sin(la)
    cdec = math.sqrt(1.0 - sdec * sdec)
    lt = (ut + lon / 15.0) % 24.0
    cchi = (math.sin(lat * DR) * sdec
            + math.cos(lat * DR) * cdec * math.cos(math.pi * (12.0 - lt) / 12.0))
    cchi = max(-1.0, min(1.0, cchi))
    chi = math.atan2(math.sqrt(1.0 - cchi * cchi), cchi) / DR
    # CCIR maps, coefficients linear in R12 between the R12 = 0 and 100 sets
    f0, f1, m0, m1 = data.coeffs(month)
    w = r12 / 100.0
    cf = [a * (1.0 - w) + b * w for a, b in zip(f0, f1)]
    cm = [a * (1.0 - w) + b * w for a, b in zip(m0, m1)]
    fof2 = ccir_map(cf, 6, QF2, modip, lat, lon, ut)
    m3000 = ccir_map(cm, 4, QM3, modip, lat, lon, ut)
    # foE (Titheridge-type) with season factor, foF1 = 1.4 foE by day
    season = {1: -1, 2: -1, 11: -1, 12: -1, 3: 0, 4: 0, 9: 0, 10: 0}.get(month, 1)
    ee = cexp(0.3 * lat)
    season = season * (ee - 1.0) / (ee + 1.0)
    chi0 = 86.23292796211615
    chieff = join(90.0 - 0.24 * cexp(20.0 - 0.2 * chi), chi, 12.0, chi - chi0)
    fa = (1.112 - 0.019 * season) * flux ** 0.25 * cexp(0.3 * math.log(math.cos(chieff * DR)))
    foe = math.sqrt(fa * fa + 0.49)
    fof1 = join(1.4 * foe, 0.0, 12.0, chi0 - chi)
    # peak densities in 1e11 m^-3 (N = 0.124 f^2, f in MHz)
    nmf2, nme = 0.124 * fof2 ** 2, 0.124 * foe ** 2
    nmf1 = 0.124 * fof1 ** 2
    if fof1 <= 0.0 and foe > 2.0:
        nmf1 = 0.124 * (foe + 0.5) ** 2
    # peak heights
    hme = 120.0
    hmf1 = join(108.8 + 14.0 * nmf1 + 0.71 * dip, 108.8 + 14.0 * nmf1 - 0.71 * dip, 12.0, dip)
    msq = m3000 * m3000
    mf = m3000 * math.sqrt((0.0196 * msq + 1.0) / (1.2967 * msq - 1.0))
    ratio = join(fof2 / foe, 1.75, 20.0, fof2 / foe - 1.75)
    dm = 0.253 / (ratio - 1.215) - 0.012
    hmf2 = 1490.0 * mf / (m3000 + dm) - 176.0
    # thickness parameters and amplitudes
    grad = 0.01 * math.exp(-3.467 + 0.857 * math.log(fof2 * fof2) + 2.02 * math.log(m3000))
    b2bot = 0.385 * nmf2 / grad
    a1 = 4.0 * nmf2
    a2 = 4.0 * (nmf1 - epstein(a1, hmf2, b2bot, hmf1))
    a2 = join(a2, 0.05, 60.0, a2 - 0.005)
    ax = a2 / (0.1 * nmf1) if nmf1 > 0.001 else 0.0
    ax = join(ax, 1.5, 20.0, ax - 1.5)
    b1 = (hmf2 - hmf1) / math.log(ax)
    b1top = join(b2bot + 50.0, b1, 20.0, b1 - b2bot - 50.0)
    b1bot = 0.7 * b1top
    a3 = 4.0 * (nme - epstein(a2, hmf1, b1bot, hme) - epstein(a1, hmf2, b2bot, hme))
    a3 = join(a3, 0.005, 60.0, a3 - 0.005)
    betop = max(0.5 * b1top, 7.0)
    bebot = 5.0
    if 3 < month < 10:
        k = 6.705 - 0.014 * r12 - 0.008 * hmf2
    else:
        k = -7.77 + 0.097 * (hmf2 / b2bot) ** 2 + 0.153 * nmf2
    k = join(k, 2.0, 1.0, k - 2.0)
    k = join(8.0, k, 1.0, k - 8.0)
    h0 = k * b2bot
    x = (h0 - 150.0) / 100.0
    h0 /= (0.041163 * x - 0.183981) * x + 1.424472
    p = dict(foF2=fof2, M3000=m3000, foE=foe, foF1=fof1, R12=r12, modip=modip,
             dip=dip, chi=chi, hmF2=hmf2, hmF1=hmf1, hmE=hme, NmF2=nmf2 * 1e11,
             A=(a1, a2, a3), B2bot=b2bot, B1top=b1top, B1bot=b1bot,
             BEtop=betop, BEbot=bebot, H0=h0)
    p['Nmax'] = bottomside(p, hmf2)
    return p


def bottomside(p, h, slope=False):
    """Sum of the F2, F1 and E semi-Epstein layers (m^-3).  The F1 and E
    arguments are sharpened near the F2 peak.  With slope=True also
    returns sum_i(layer_i * dln(layer_i)/dh) for the D-region extension."""
    hm = (p['hmF2'], p['hmF1'], p['hmE'])
    th = (p['B2bot'],
          p['B1top'] if h > p['hmF1'] else p['B1bot'],
          p['BEtop'] if h > p['hmE'] else p['BEbot'])
    sharp = math.exp(10.0 / (1.0 + 2.0 * abs(h - hm[0])))
    total = dsum = 0.0
    for i in range(3):
        arg = (h - hm[i]) / th[i] * (sharp if i else 1.0)
        if abs(arg) > 25.0:
            continue
        e = math.exp(arg)
        s = p['A'][i] * e / (1.0 + e) ** 2
        total += s
        dsum += s * (1.0 - e) / (1.0 + e) / th[i]
    if slope:
        return total * 1e11, dsum * 1e11
    return total * 1e11


def density(p, h):
    if h > p['hmF2']:
        # topside: Epstein with thickness growing with height above the peak
        dh = h - p['hmF2']
        g = 0.125 * dh
        z = dh / (p['H0'] * (1.0 + 100.0 * g / (100.0 * p['H0'] + g)))
        e = math.exp(-z)
        return p['Nmax'] * 4.0 * e / (1.0 + e) ** 2
    if h >= 100.0:
        return bottomside(p, h)
    # below 100 km: Chapman-like decay matched in value and (approximate)
    # logarithmic slope to the layer sum at 100 km, scale height 10 km
    n0, dn = bottomside(p, 100.0, slope=True)
    bf = 1.0 - dn / n0 * 10.0
    z = (h - 100.0) / 10.0
    return n0 * cexp(1.0 - bf * z - cexp(-z))


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    data = Data(argv[1])
    if argv[2] == '--check':
        for lat, lon, mth, flx, ut in [(45, 15, 4, 150, 12), (0, 0, 3, 100, 14),
                                       (40, -105, 1, 70, 18), (-30, 150, 7, 193, 2),
                                       (70, 20, 12, 120, 0), (10, 80, 9, 250, 8)]:
            p = profile(data, lat, lon, mth, flx, ut)
            sys.stderr.write('lat %4g lon %5g m %2d F %3g UT %4g: foF2 %.3f M3000 %.3f '
                             'foE %.3f NmF2 %.3e hmF2 %.1f hmF1 %.1f B2bot %.1f H0 %.1f '
                             'modip %.2f\n' % (lat, lon, mth, flx, ut, p['foF2'], p['M3000'],
                                               p['foE'], p['NmF2'], p['hmF2'], p['hmF1'],
                                               p['B2bot'], p['H0'], p['modip']))
        return 0
    out = []
    with open(argv[2]) as f:
        for line in f:
            parts = line.split()
            if not parts or parts[0].startswith('#'):
                continue
            h, lat, lon = float(parts[0]), float(parts[1]), float(parts[2])
            month, flux, ut = int(float(parts[3])), float(parts[4]), float(parts[5])
            out.append(repr(density(profile(data, lat, lon, month, flux, ut), h)))
    sys.stdout.write('\n'.join(out) + ('\n' if out else ''))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
