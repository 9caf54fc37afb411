#!/usr/bin/env python3
# Independent reference values for the tidal station displacements, standard library only:
#  T lines: solid Earth tide, IERS Conventions (2010) ch. 7.1.1 (Mathews, Dehant & Gipson 1997),
#           steps 1 and 2 (diurnal and long-period anelastic corrections), permanent tide kept.
#  L lines: ocean tide loading from the 11 BLQ constituents, extended to 342 harmonics by
#           interpolating the admittance (Agnew's HARDISP description, IERS Conventions 2010 ch. 7.1.2).
# Usage:  python3 tides_reference.py CASES      one output line per T/L input line ('#'/blank skipped)
#   T x y z year month day hour xsun ysun zsun xmoon ymoon zmoon  ->  dx dy dz   (ECEF, m; UTC)
#   L year doy hour minute second a1..a11(up,west,south) p1..p11(up,west,south) -> up west south (m)
#         (BLQ order M2 S2 N2 K2 K1 O1 P1 Q1 Mf Mm Ssa, amplitudes in m, phase lags in degrees)
#   python3 tides_reference.py --selftest [--printed-table]
# --test-constants: T lines use the mass ratios and radius of the Conventions' published test case.
# --printed-table: step-2 diurnal terms as printed in the Conventions' table (|dR| >= 0.05 mm, K1
# out-of-phase -0.78 mm) instead of the fuller list (>= 0.01 mm, K1 -0.80 mm) of its test case.
import math
import sys

RAD = math.pi / 180.0

# ---- time scales. Months in which TAI-UTC stepped by +1 s, starting from 10 s in 1972-01.
LEAP_MONTHS = (197201, 197207, 197301, 197401, 197501, 197601, 197701, 197801, 197901, 198001,
               198107, 198207, 198307, 198507, 198801, 199001, 199101, 199207, 199307, 199407,
               199601, 199707, 199901, 200601, 200901, 201207, 201507, 201701)


def tai_utc(year, month):
    return 9.0 + sum(1 for ym in LEAP_MONTHS if ym <= year * 100 + month)


def mjd(year, month, day):
    """Modified Julian Date at 0h of a Gregorian calendar date."""
    a = (14 - month) // 12
    y, m = year + 4800 - a, month + 12 * a - 3
    return day + (153 * m + 2) // 5 + 365 * y + y // 4 - y // 100 + y // 400 - 32045 - 2400001


def poly(c, t):
    return sum(ck * t ** k for k, ck in enumerate(c))


def local_to_ecef(sphi, cphi, lam, dr, dn, de):
    sl, cl = math.sin(lam), math.cos(lam)
    return [dr * cphi * cl - dn * sphi * cl - de * sl,
            dr * cphi * sl - dn * sphi * sl + de * cl,
            dr * sphi + dn * cphi]


# ---- solid Earth tide ------------------------------------------------------------------------
PROGRAM_CONSTS = (332945.943062, 0.012300034, 6378136.55)   # GM_sun/GM_E, GM_moon/GM_E, a_E
CONVENTIONS_TEST_CONSTS = (332946.0482, 0.0123000371, 6378136.6)
H20, L20, H3, L3 = 0.6078, 0.0847, 0.292, 0.015
# Imaginary (mantle anelasticity) parts and the latitude-dependence Shida term l(1), eqs. 7.8-7.11.
HI_DIU, HI_SEM, LI_BOTH, L1_DIU, L1_SEM = -0.0025, -0.0022, -0.0007, 0.0012, 0.0024

# Step-2 diurnal terms (Conventions table 7.3a, radial >= 0.01 mm as used by its test case), mm.
# Multipliers of s h p N' ps (tau multiplier 1), then dR_ip dR_op dT_ip dT_op. The row
# "0 1 0 1 -1" is kept as listed there (probably meant s=1); it is worth 0.01 mm at most.
DIURNAL = [[float(v) for v in r.split()] for r in """
-3 0 2 0 0 -.01 0 0 0|-3 2 0 0 0 -.01 0 0 0|-2 0 1 -1 0 -.02 0 0 0|-2 0 1 0 0 -.08 0 -.01 .01
-2 2 -1 0 0 -.02 0 0 0|-1 0 0 -1 0 -.10 0 0 0|-1 0 0 0 0 -.51 0 -.02 .03|-1 2 0 0 0 .01 0 0 0
0 -2 1 0 0 .01 0 0 0|0 0 -1 0 0 .02 0 0 0|0 0 1 0 0 .06 0 0 0|0 0 1 1 0 .01 0 0 0
0 2 -1 0 0 .01 0 0 0|1 -3 0 0 1 -.06 0 0 0|1 -2 0 -1 0 .01 0 0 0|1 -2 0 0 0 -1.23 -.07 .06 .01
1 -1 0 0 -1 .02 0 0 0|1 -1 0 0 1 .04 0 0 0|1 0 0 -1 0 -.22 .01 .01 0|1 0 0 0 0 12.00 -.80 -.67 -.03
1 0 0 1 0 1.73 -.12 -.10 0|1 0 0 2 0 -.04 0 0 0|1 1 0 0 -1 -.50 -.01 .03 0|1 1 0 0 1 .01 0 0 0
0 1 0 1 -1 -.01 0 0 0|1 2 -2 0 0 -.01 0 0 0|1 2 0 0 0 -.11 .01 .01 0|2 -2 1 0 0 -.01 0 0 0
2 0 -1 0 0 -.02 0 0 0""".replace('\n', '|').split('|') if r.strip()]
# Step-2 long-period terms (Conventions table 7.3b), same layout, tau multiplier 0.
LONG = [[float(v) for v in r.split()] for r in """0 0 0 1 0 .47 .16 .23 .07|0 2 0 0 0 -.20 -.11 -.12 -.05
1 0 -1 0 0 -.11 -.09 -.08 -.04|2 0 0 0 0 -.13 -.15 -.11 -.07|2 0 0 1 0 -.05 -.06 -.05 -.03""".replace(
    '\n', '|').split('|')]


def step2_arguments(t, fhr):
    """Mean lunar time tau and s h p N' ps (degrees) of the step-2 formulation, t in TT centuries.
    As in that formulation, tau is formed with s before the precession term is added to it."""
    s0 = poly((218.31664563, 481267.88194, -0.0014663889, 0.00000185139), t)
    tau = 15.0 * fhr + poly((280.4606184, 36000.7700536, 0.00038793, -0.0000000258), t) - s0
    s = s0 + poly((0.0, 1.396971278, 0.000308889, 0.000000021, 0.000000007), t)
    h = poly((280.46645, 36000.7697489, 0.00030322222, 0.000000020, -0.00000000654), t)
    p = poly((83.35324312, 4069.01363525, -0.01032172222, -0.0000124991, 0.00000005263), t)
    nprime = poly((234.95544499, 1934.13626197, -0.00207561111, -0.00000213944, 0.00000001650), t)
    ps = poly((282.93734098, 1.71945766667, 0.00045688889, -0.00000001778, -0.00000000334), t)
    return tau, (s, h, p, nprime, ps)


def solid_tide(xsta, year, month, day, fhr, xsun, xmoon, consts=PROGRAM_CONSTS, printed=False):
    """Solid Earth tide displacement (ECEF, m) of station xsta at UTC date + fhr hours."""
    ms, mm, re = consts
    r = math.sqrt(sum(c * c for c in xsta))
    u = [c / r for c in xsta]
    sphi, cphi, lam = u[2], math.hypot(u[0], u[1]), math.atan2(xsta[1], xsta[0])
    s2phi, c2phi = 2 * sphi * cphi, cphi * cphi - sphi * sphi
    # Latitude dependence of the nominal degree-2 numbers (eq. 7.2).
    h2 = H20 - 0.0006 * (1 - 1.5 * cphi ** 2)
    l2 = L20 + 0.0002 * (1 - 1.5 * cphi ** 2)
    d = [0.0, 0.0, 0.0]
    dr = dn = de = 0.0                       # local radial, north, east parts
    for xb, ratio in ((xsun, ms), (xmoon, mm)):
        rb = math.sqrt(sum(c * c for c in xb))
        ub = [c / rb for c in xb]
        f2 = ratio * re * (re / rb) ** 3     # GM_j a^4 / (GM_E R_j^3)
        f3 = f2 * re / rb
        c = sum(a * b for a, b in zip(u, ub))
        # Degree 2 and 3 in-phase: radial Love part along r, Shida part along the component of
        # the body direction perpendicular to r (eqs. 7.5 and 7.6).
        for i in range(3):
            perp = ub[i] - c * u[i]
            d[i] += f2 * (h2 * u[i] * (1.5 * c * c - 0.5) + 3 * l2 * c * perp)
            d[i] += f3 * (H3 * u[i] * (2.5 * c ** 3 - 1.5 * c) + L3 * (7.5 * c * c - 1.5) * perp)
        # Out-of-phase (eqs. 7.10, 7.11) and l(1) (eqs. 7.8, 7.9) terms, functions of the body's
        # geocentric latitude PHI and the longitude difference dl = lambda - lambda_body.
        sb, cb = ub[2], math.hypot(ub[0], ub[1])
        dl = lam - math.atan2(ub[1], ub[0])
        s1, c1, s2, c2 = math.sin(dl), math.cos(dl), math.sin(2 * dl), math.cos(2 * dl)
        p21, p22 = 3 * sb * cb, 3 * cb * cb
        dr += -0.75 * HI_DIU * f2 * 2 * sb * cb * s2phi * s1
        dn += -1.5 * LI_BOTH * f2 * 2 * sb * cb * c2phi * s1
        de += -1.5 * LI_BOTH * f2 * 2 * sb * cb * sphi * c1
        dr += -0.75 * HI_SEM * f2 * cb * cb * cphi * cphi * s2
        dn += 0.75 * LI_BOTH * f2 * cb * cb * s2phi * s2
        de += -1.5 * LI_BOTH * f2 * cb * cb * cphi * c2
        dn += -L1_DIU * sphi * f2 * p21 * sphi * c1
        de += L1_DIU * sphi * f2 * p21 * c2phi * s1
        dn += -0.5 * L1_SEM * sphi * cphi * f2 * p22 * c2
        de += -0.5 * L1_SEM * sphi * cphi * f2 * p22 * sphi * s2
    # Step 2: frequency dependence of the Love/Shida numbers, time in TT centuries from J2000.
    t = ((mjd(year, month, day) - 51544.5 + fhr / 24.0) / 36525.0
         + (tai_utc(year, month) + 32.184) / (86400.0 * 36525.0))
    tau, args = step2_arguments(t, fhr)
    for row in DIURNAL:
        rip, rop, tip, top = row[5:]
        if printed and abs(rip) < 0.05:
            continue
        if printed and rip == 12.0:
            rop = -0.78
        th = (tau + sum(k * a for k, a in zip(row[:5], args))) * RAD + lam
        dr += (rip * math.sin(th) + rop * math.cos(th)) * s2phi * 1e-3
        dn += (tip * math.sin(th) + top * math.cos(th)) * c2phi * 1e-3
        de += (tip * math.cos(th) - top * math.sin(th)) * sphi * 1e-3
    for row in LONG:
        rip, rop, tip, top = row[5:]
        th = sum(k * a for k, a in zip(row[:5], args)) * RAD
        dr += (rip * math.cos(th) + rop * math.sin(th)) * (1.5 * sphi * sphi - 0.5) * 1e-3
        dn += (tip * math.cos(th) + top * math.sin(th)) * s2phi * 1e-3
    loc = local_to_ecef(sphi, cphi, lam, dr, dn, de)
    return [a + b for a, b in zip(d, loc)]


# ---- ocean tide loading ----------------------------------------------------------------------
# The 342 harmonics of the HARDISP description (IERS Conventions 2010 software, Agnew 2008; from
# the Hartmann-Wenzel catalogue): Doodson numbers (species, then s h p N' ps each +5, X=10 E=11)
# and Cartwright-Tayler-Edden amplitudes, in the same order.
CODES = """
255555 273555 245655 275555 275565 255545 247455 237555 265455 272556 235755 227655 263655 245645
285455 265655 275575 274554 254556 265665 285465 256554 253755 225855 238554 295555 246654 248454
275545 244656 295565 229455 247445 283655 267455 217755 293555 257555 237545 271557 273545 265445
246555 274556 276554 235745 239355 277555 219555 245435 267465 243855 283665 295355 255755 257355
257565 228654 255535 295575 293565 255557 265675 253535 236556 236754 246456 2X5455 262656 234756
285475 263645 2X5465 215955 227645 236655 295365 255765 209655 257575 247655 2X3455 264555 273557
207855 243635 22X454 245556 235535 254655 226656 285445 265645 247665 252756 264456 225845 253745
218754 245635 2X5475 21X554 239553 245657 233955 283445 23X354 254546 2X3465 165555 145555 163555
135655 165565 145545 175455 155655 185555 137455 135645 127555 155455 165545 185565 162556 125755
167555 155665 175465 157455 173655 183555 147555 166554 164556 195455 117655 153655 137445 185355
145755 145535 185575 127545 195465 155445 163545 125745 165575 164554 144556 157465 146554 143755
173665 115855 147565 183565 175445 155645 137655 193455 128554 136654 138454 153645 134656 193655
119455 117645 1X3555 185365 107755 175655 168554 135635 195475 161557 1X5355 145765 136555 193665
129355 148554 182556 1X3565 167565 175665 109555 135435 1X5365 167355 163755 137665 158454 172656
133855 147355 118654 115845 143745 135855 195255 156654 174456 173645 155435 175675 173445 155675
156555 174555 157445 143535 126556 183545 144546 193465 176454 154656 139455 191655 126754 128544
167575 163535 185585 147545 136456 152656 124756 175475 1E3455 177455 146544 138444 145557 105955
165553 136644 164566 167553 126655 119445 165345 134646 127755 1X3355 181755 163557 149355 177465
107745 162546 166564 1E3465 137435 193675 1E9655 1X1555 129555 167365 136545 075555 065455 057555
055565 075565 085455 063655 073555 085465 056554 075355 075575 083655 065445 065465 093555 065655
058554 095355 083665 083455 093565 057565 065665 095365 085475 0X3455 067455 063645 063665 073545
072556 073565 057355 062656 055575 056556 067465 085255 076554 064456 065675 0X3465 074556 077355
064555 0X5255 075365 066454 081655 057575 075345 092556 084456 057553 082656 071755 093355 086454
0X1655 083445 083675 091555 0E3355 0X5265 093575 077365 059553 084555 082456 095375 063445 074554
091755 076564 083465 092566 075585 0E1555""".split()
CTE_AMPS = [float(a) for a in """
 .632208  .294107  .121046  .079915  .023818 -.023589  .022994  .019333 -.017871  .017192  .016018
 .004671 -.004662 -.004519  .004470  .004467  .002589 -.002455 -.002172  .001972  .001947  .001914
-.001898  .001802  .001304  .001170  .001130  .001061 -.001022 -.001017  .001014  .000901 -.000857
 .000855  .000855  .000772  .000741  .000741 -.000721  .000698  .000658  .000654 -.000653  .000633
 .000626 -.000598  .000590  .000544  .000479 -.000464  .000413 -.000390  .000373  .000366  .000366
-.000360 -.000355  .000354  .000329  .000328  .000319  .000302  .000279 -.000274 -.000272  .000248
-.000225  .000224 -.000223 -.000216  .000211  .000209  .000194  .000185 -.000174 -.000171  .000159
 .000131  .000127  .000120  .000118  .000117  .000108  .000107  .000105 -.000102  .000102  .000099
-.000096  .000095 -.000089 -.000085 -.000084 -.000081 -.000077 -.000072 -.000067  .000066  .000064
 .000063  .000063  .000063  .000062  .000062 -.000060  .000056  .000053  .000051  .000050  .368645
-.262232 -.121995 -.050208  .050031 -.049470  .020620  .020613  .011279 -.009530 -.009469 -.008012
 .007414 -.007300  .007227 -.007131 -.006644  .005249  .004137  .004087  .003944  .003943  .003420
 .003418  .002885  .002884  .002160 -.001936  .001934 -.001798  .001690  .001689  .001516  .001514
-.001511  .001383  .001372  .001371 -.001253 -.001075  .001020  .000901  .000865 -.000794  .000788
 .000782 -.000747 -.000745  .000670 -.000603 -.000597  .000542  .000542 -.000541 -.000469 -.000440
 .000438  .000422  .000410 -.000374 -.000365  .000345  .000335 -.000321 -.000319  .000307  .000291
 .000290 -.000289  .000286  .000275  .000271  .000263 -.000245  .000225  .000225  .000221 -.000202
-.000200 -.000199  .000192  .000183  .000183  .000183 -.000170  .000169  .000168  .000162  .000149
-.000147 -.000141  .000138  .000136  .000136  .000127  .000127 -.000126 -.000121 -.000121  .000117
-.000116 -.000114 -.000114 -.000114  .000114  .000113  .000109  .000108  .000106 -.000106 -.000106
 .000105  .000104 -.000103 -.000100 -.000100 -.000100  .000099 -.000098  .000093  .000093  .000090
-.000088  .000083 -.000083 -.000082 -.000081 -.000079 -.000077 -.000075 -.000075 -.000075  .000071
 .000071 -.000071  .000068  .000068  .000065  .000065  .000064  .000064  .000064 -.000064 -.000060
 .000056  .000056  .000053  .000053  .000053 -.000053  .000053  .000053  .000052  .000050 -.066607
-.035184 -.030988  .027929 -.027616 -.012753 -.006728 -.005837 -.005286 -.004921 -.002884 -.002583
-.002422  .002310  .002283 -.002037  .001883 -.001811 -.001687 -.001004 -.000925 -.000844  .000766
 .000766 -.000700 -.000495 -.000492  .000491  .000483  .000437 -.000416 -.000384  .000374 -.000312
-.000288 -.000273  .000259  .000245 -.000232  .000229 -.000216  .000206 -.000204 -.000202  .000200
 .000195 -.000190  .000187  .000180 -.000179  .000170  .000153 -.000137 -.000119 -.000119 -.000112
-.000110 -.000110  .000107 -.000095 -.000095 -.000091 -.000090 -.000081 -.000079 -.000079  .000077
-.000073  .000069 -.000067 -.000066  .000065  .000064 -.000062  .000060  .000059 -.000056  .000055
-.000051""".split()]
HARMONICS = [([int(c[0])] + [int(ch, 16) - 5 for ch in c[1:].replace('X', 'A').replace('E', 'B')], a)
             for c, a in zip(CODES, CTE_AMPS)]
BLQ_CODES = ('255555', '273555', '245655', '275555', '165555', '145555', '163555', '135655',
             '075555', '065455', '057555')   # M2 S2 N2 K2 K1 O1 P1 Q1 Mf Mm Ssa
# Phase offset of each species between the Cartwright-Tayler potential and the BLQ phase reference.
SPECIES_SHIFT = (180.0, 90.0, 0.0)
# Delaunay arguments l l' F D Omega (degrees, TT centuries), IERS Conventions 2010 eq. 5.43.
DELAUNAY = ((134.96340251, 477198.8675605, 0.0088553333, 0.0000143431, -0.0000000680),
            (357.5291091806, 35999.0502911389, -0.0001536667, 0.0000000378, -0.0000000032),
            (93.27209062, 483202.0174577222, -0.0035420000, -0.0000002881, 0.0000000012),
            (297.8501954694, 445267.1114469445, -0.0017696111, 0.0000018314, -0.0000000088),
            (125.04455501, -1934.1362619722, 0.0020756111, 0.0000021394, -0.0000000165))


def doodson_arguments(year, doy, hour, minute, second, tt=True):
    """Doodson arguments tau s h p N' ps (degrees) and their rates (cycles/day). The UTC epoch is
    carried to TT (UTC + TAI-UTC + 32.184 s) for the slow arguments; tau follows the UTC clock.
    tt=False keeps UTC throughout, which is how the published example output was produced."""
    dayfr = (hour + minute / 60.0 + second / 3600.0) / 24.0
    m0 = mjd(year, 1, 1) + doy - 1
    month = next(m for m in range(12, 0, -1) if mjd(year, m, 1) <= m0)
    t = (m0 + dayfr - 51544.5 + tt * (tai_utc(year, month) + 32.184) / 86400.0) / 36525.0
    ang = [poly(c, t) for c in DELAUNAY]
    rate = [sum(k * ck * t ** (k - 1) for k, ck in enumerate(c) if k) / 36525.0 / 360.0
            for c in DELAUNAY]
    out = []
    for v in (ang, rate):
        l_, lp, f, d, om = v
        s = f + om
        h = s - d
        out.append([(360.0 * dayfr if v is ang else 1.0) - d, s, h, s - l_, -om, h - lp])
    return out


def spline(x, y):
    """Cubic spline through (x, y) with end slopes from the parabola through the three end points;
    with three points or fewer it degenerates to straight lines. Flat beyond the end nodes."""
    n = len(x)
    m = [0.0] * n
    if n > 3:
        hh = [x[i + 1] - x[i] for i in range(n - 1)]
        dd = [(y[i + 1] - y[i]) / hh[i] for i in range(n - 1)]
        q1 = dd[0] - hh[0] * (dd[1] - dd[0]) / (x[2] - x[0])
        qn = dd[-1] + hh[-1] * (dd[-1] - dd[-2]) / (x[-1] - x[-3])
        # Tridiagonal system for the second derivatives (clamped ends), Thomas algorithm.
        sub = [0.0] + hh
        diag = [2 * hh[0]] + [2 * (hh[i - 1] + hh[i]) for i in range(1, n - 1)] + [2 * hh[-1]]
        sup = hh + [0.0]
        rhs = [6 * (dd[0] - q1)] + [6 * (dd[i] - dd[i - 1]) for i in range(1, n - 1)] + \
              [6 * (qn - dd[-1])]
        for i in range(1, n):
            w = sub[i] / diag[i - 1]
            diag[i] -= w * sup[i - 1]
            rhs[i] -= w * rhs[i - 1]
        m[-1] = rhs[-1] / diag[-1]
        for i in range(n - 2, -1, -1):
            m[i] = (rhs[i] - sup[i] * m[i + 1]) / diag[i]

    def ev(v):
        if v <= x[0]:
            return y[0]
        if v >= x[-1]:
            return y[-1]
        k = next(i for i in range(1, n) if v <= x[i])
        h, a, b = x[k] - x[k - 1], x[k] - v, v - x[k - 1]
        return ((m[k - 1] * a ** 3 + m[k] * b ** 3) / (6 * h) + (y[k] / h - m[k] * h / 6) * b
                + (y[k - 1] / h - m[k - 1] * h / 6) * a)
    return ev


def ocean_loading(year, doy, hour, minute, second, amps, lags, tt=True):
    """Up, west, south loading displacement (m); amps/lags: 3 rows (up, west, south) of 11."""
    arg, rate = doodson_arguments(year, doy, hour, minute, second, tt)
    table = [(k, a, sum(ki * r for ki, r in zip(k, rate)), sum(ki * g for ki, g in zip(k, arg)))
             for k, a in HARMONICS]
    index = {c: i for i, c in enumerate(CODES)}
    out = []
    for comp in range(3):
        # Admittance at the 11 given tides: BLQ phasor (phase lags counted negative) divided by
        # the tide's potential amplitude, then interpolated across each band in frequency.
        bands = [[], [], []]
        for j, code in enumerate(BLQ_CODES):
            _, cte, f, _ = table[index[code]]
            ph = -lags[comp][j] * RAD
            bands[int(code[0])].append((f, amps[comp][j] * math.cos(ph) / abs(cte),
                                        amps[comp][j] * math.sin(ph) / abs(cte)))
        fit = []
        for b in bands:
            b.sort()
            fs = [p[0] for p in b]
            fit.append((spline(fs, [p[1] for p in b]), spline(fs, [p[2] for p in b])))
        total = 0.0
        for k, cte, f, g in table:
            re_, im_ = fit[k[0]][0](f), fit[k[0]][1](f)
            chi = (g + SPECIES_SHIFT[k[0]]) * RAD
            total += cte * (re_ * math.cos(chi) - im_ * math.sin(chi))
        out.append(total)
    return out


# ---- self-test against the published examples ------------------------------------------------
DEHANT_CASE = ((4075578.385, 931852.890, 4801570.154), (2009, 4, 13, 0.0),
               (137859926952.015, 54228127881.4350, 23509422341.6960),
               (-179996231.920342, -312468450.131567, -169288918.592160),
               (0.07700420357108125891, 0.06304056321824967613, 0.05516568152597246810))
# Published loading example: 2009-06-25 (doy 176) every 3 h from 0h; expected dU dS dW.
HARDISP_CASES = (("Onsala", """
.00352 .00123 .00080 .00032 .00187 .00112 .00063 .00003 .00082 .00044 .00037
.00144 .00035 .00035 .00008 .00053 .00049 .00018 .00009 .00012 .00005 .00006
.00086 .00023 .00023 .00006 .00029 .00028 .00010 .00007 .00004 .00002 .00001
-64.7 -52.0 -96.2 -55.2 -58.8 -151.4 -65.6 -138.1 8.4 5.2 2.1
85.5 114.5 56.5 113.6 99.4 19.1 94.1 -10.4 -167.4 -170.0 -177.7
109.5 147.0 92.7 148.8 50.5 -55.1 36.4 -170.4 -15.0 2.3 5.2""", """
0.003513 -0.001893 -0.001513  0.000498 -0.000374  0.000328 -0.001369  0.001032  0.000254
0.004177  0.000208 -0.002171  0.006519 -0.000548 -0.001871 -0.001543  0.000717  0.001864
-0.008606 0.001637  0.003347 -0.004090 -0.000009  0.000492"""), ("Reykjavik", """
.02359 .01481 .00448 .00419 .00273 .00033 .00088 .00005 .00081 .00034 .00034
.00514 .00280 .00089 .00078 .00106 .00074 .00035 .00018 .00004 .00001 .00003
.00209 .00077 .00051 .00021 .00151 .00066 .00047 .00019 .00014 .00008 .00006
78.5 102.3 76.3 104.1 -52.0 -160.4 -52.6 -128.0 -174.8 -175.7 -178.1
54.2 93.8 38.9 96.9 2.3 -12.5 3.1 -31.6 -144.4 -122.6 -173.5
156.2 -167.1 141.9 -164.9 155.9 178.7 155.6 -168.5 177.7 178.7 179.7""", """
-0.026799 -0.000581 -0.004764  0.027166 -0.000516  0.005196  0.031016  0.002290  0.002531
-0.018559  0.000586 -0.006015 -0.026579 -0.004114 -0.001969  0.018492 -0.003477  0.008446
0.025972  0.002101  0.005508 -0.021034  0.003733 -0.006421"""))


def selftest(printed):
    assert len(HARMONICS) == 342 and [k[0] for k, _ in HARMONICS].count(1) == 154
    xsta, (y, mo, d, fhr), xs, xm, want = DEHANT_CASE
    got = solid_tide(xsta, y, mo, d, fhr, xs, xm, CONVENTIONS_TEST_CONSTS, printed)
    print('solid tide, published test case (its constants)      published / ours / diff')
    for w, g in zip(want, got):
        print('  %.17f  %.17f  %9.2e  (%d significant digits)'
              % (w, g, g - w, int(-math.log10(abs(g - w) / abs(w) + 1e-17))))
    # That example was run with the ET-UTC step lost (its leap-second routine works in single
    # precision while its caller passes double), i.e. on UTC; TT moves M2 by ~0.02 deg.
    worst = [0.0, 0.0]
    for name, blq, expect in HARDISP_CASES:
        rows = [[float(v) for v in line.split()] for line in blq.split('\n') if line.strip()]
        exp = [float(v) for v in expect.split()]
        print('ocean loading, %s, 2009 doy 176: published dU dS dW | ours (TT) | ours (UTC)' % name)
        for i in range(8):
            pub = exp[3 * i:3 * i + 3]
            line = '  %2dh %9.6f %9.6f %9.6f' % (3 * i, pub[0], pub[1], pub[2])
            for j, tt in enumerate((True, False)):
                up, west, south = ocean_loading(2009, 176, 3 * i, 0, 0, rows[:3], rows[3:], tt)
                worst[j] = max(worst[j], *(abs(a - b) for a, b in zip(pub, (up, south, west))))
                line += ' | %9.6f %9.6f %9.6f' % (up, south, west)
            print(line)
    print('ocean loading, largest difference from the published values (rounded to 1e-6 m):\n'
          '  %.1e m with the TT argument (the model), %.1e m with UTC as the example was run'
          % tuple(worst))


def main(argv):
    printed = '--printed-table' in argv
    consts = CONVENTIONS_TEST_CONSTS if '--test-constants' in argv else PROGRAM_CONSTS
    args = [a for a in argv[1:] if a not in ('--printed-table', '--test-constants')]
    if args == ['--selftest']:
        return selftest(printed)
    with open(args[0]) as f:
        for line in f:
            w = line.split()
            if not w or w[0].startswith('#'):
                continue
            v = [float(x) for x in w[1:]]
            if w[0] == 'T':
                res = solid_tide(v[0:3], int(v[3]), int(v[4]), int(v[5]), v[6], v[7:10], v[10:13],
                                 consts, printed)
            elif w[0] == 'L':
                res = ocean_loading(int(v[0]), int(v[1]), int(v[2]), int(v[3]), v[4],
                                    [v[5:16], v[16:27], v[27:38]], [v[38:49], v[49:60], v[60:71]])
            else:
                raise SystemExit('unknown case type: ' + w[0])
            print(' '.join(repr(c) for c in res))


if __name__ == '__main__':
    main(sys.argv)
