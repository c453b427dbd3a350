"""skykit against skytable: every column and every inverse, bit for bit, and
the errors a Python user expects.  SKYTABLE names the program."""
import math
import os
import pickle
import signal
import subprocess
import threading
import time

import numpy as np
import pytest

import skykit

SKYTABLE = os.environ.get("SKYTABLE", "skytable")
COLUMNS = ["z", "d_L", "d_c", "d_M", "d_A", "mu", "kpc_arcsec", "V_c", "dV_c", "H", "dd_L",
           "t_age", "t_lookback", "t_now", "D", "f", "Omega_M_z", "rho_c", "D_H", "D_V", "eta"]
FROM = ["z", "d_L", "d_c", "mu", "V_c", "t_age", "t_lookback", "D", "D_V"]
RULER = ["r_s", "x_e", "DM_rd", "DH_rd", "DV_rd"]  # and -from, but for r_s and x_e
PAIRS = ["d_c12", "d_M12", "d_A12", "Sigma_crit", "D_dt"]
UNIVERSES = [
    ({"exact": False}, []),
    ({"h0": 70, "omega_m": 0.3, "lambda0": 0, "exact": False}, ["-h0", "70", "-omega", "0.3", "-lambda", "0"]),
    ({"omega_m": 0.1, "lambda0": 1.2, "exact": False}, ["-omega", "0.1", "-lambda", "1.2"]),
    ({"radiation": 0, "w0": -0.9, "wa": 0.2}, ["-radiation", "0", "-w0", "-0.9", "-wa", "0.2", "-exact"]),
    ({"tcmb0": 2.7255, "m_nu": 0.1, "omega_m": 0.3, "lambda0": 0.6},
     ["-tcmb", "2.7255", "-mnu", "0.1", "-omega", "0.3", "-lambda", "0.6", "-exact"]),
    ({"tcmb0": 2.7255, "m_nu": (0, 0.02, 0.05), "neutrinos": "fit", "flat": True, "w0": -0.9, "exact": False},
     ["-tcmb", "2.7255", "-mnu", "0,0.02,0.05", "-neutrinos", "fit", "-flat", "-w0", "-0.9"]),
    ({"tcmb0": 2.7255, "omega_b": 0.05, "y_he": 0.25, "lambda0": 0.6},
     ["-tcmb", "2.7255", "-omegab", "0.05", "-yhe", "0.25", "-lambda", "0.6", "-exact"]),
    ({"r_d": 150, "exact": False}, ["-rd", "150"]),
]

def skytable(args, values):
    """What skytable prints for values given one per line, as doubles, a row each."""
    text = "".join("%r\n" % float(v) for v in values)
    out = subprocess.run([SKYTABLE, "-digits", "17"] + args, input=text.encode(), capture_output=True,
                         check=True).stdout.decode()
    return [[float(f) for f in line.split("\t")[1:]] for line in out.splitlines()]


def same(a, b):
    return a == b or (math.isnan(a) and math.isnan(b))


@pytest.mark.filterwarnings("ignore:1 negative redshift")
@pytest.mark.parametrize("kwargs,args", UNIVERSES)
def test_every_column_and_inverse_as_skytable_prints(kwargs, args):
    rng = np.random.default_rng(27)
    z = np.concatenate([10 ** rng.uniform(-4, 4, 600), rng.uniform(0, 20, 100), [0, np.inf, np.nan, -1]])
    u = skykit.Universe(**kwargs)
    columns = COLUMNS + (RULER if "omega_b" in kwargs else RULER[2:] if "r_d" in kwargs else [])
    want = skytable(args + ["-columns", ",".join(columns)], z)
    for threads in (1, 2):
        got = u.table(z, columns, threads=threads)
        for k, name in enumerate(columns):
            bad = [i for i in range(len(z)) if not same(got[name][i], want[i][k])]
            assert not bad, "%s %s at z = %r: %r, skytable %r" % (u, name, z[bad[0]], got[name][bad[0]],
                                                                   want[bad[0]][k])
    for q in FROM + [c for c in columns if c in RULER[2:]]:
        values = [row[columns.index(q)] for row in want]
        found = [row[0] for row in skytable(args + ["-from", q, "-columns", "z"], values)]
        got = u.redshift(q, values, threads=2)
        bad = [i for i in range(len(values)) if not same(got[i], found[i])]
        assert not bad, "%s -from %s %r: %r, skytable %r" % (u, q, values[bad[0]], got[bad[0]], found[bad[0]])


def test_shapes_and_types():
    u = skykit.Universe()
    assert isinstance(u.d_L(1.0), float) and isinstance(u.d_L(1), float)
    assert u.d_L(np.float32(1.0)) == u.d_L(float(np.float32(1.0)))
    grid = np.arange(12, dtype=np.int64).reshape(3, 4)
    for z in (grid, grid.astype(np.float32), grid.astype(float)[:, ::2], grid.tolist()):
        a = np.asarray(z, dtype=float)
        assert u.mu(z).shape == a.shape and u.mu(z).dtype == np.float64
        assert np.array_equal(u.mu(z), u.mu(np.ascontiguousarray(a)), equal_nan=True)
    assert math.isnan(u.d_L(float("nan"))) and np.isnan(u.t_age([np.nan])).all()
    assert math.isnan(u.redshift("d_L", -1.0))
    assert set(u.table([1, 2])) == {"d_L", "d_c", "d_A"}
    assert repr(u) == "Universe(h0=73.0, omega_m=0.27, lambda0=0.73, radiation=4.165e-05, w0=-1.0, wa=0.0, exact=True)"
    with pytest.raises(AttributeError):
        u.h0 = 70
    assert "Mpc" in skykit.Universe.d_L.__doc__ and "Gyr" in skykit.Universe.t_age.__doc__
    assert "Universe(h0=73.0, omega_m=0.27, lambda0=None, radiation=None, w0=-1.0," in skykit.Universe.__init__.__doc__
    # Memory not aligned to a double is read from a copy.
    odd = np.ndarray((3,), "f8", buffer=bytearray(25), offset=1)
    odd[:] = [0.5, 1, 2]
    assert not odd.flags.aligned and np.array_equal(u.d_L(odd), u.d_L([0.5, 1, 2]))
    # A subclass is made as the class is.
    class Mine(skykit.Universe):
        pass
    assert Mine(h0=70).d_L(1.0) == skykit.Universe(h0=70).d_L(1.0)
    # A universe that turned around just before now has no such redshift.
    assert math.isnan(skykit.Universe(lambda0=1e10).redshift("d_L", 1.0))


def test_ctrl_c_stops_a_long_call():
    """SIGINT during a call of a minute's work raises KeyboardInterrupt at
    once, not when the work is done."""
    u, z = skykit.Universe(), np.linspace(0, 5, 2 * 10**7)
    timer = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
    start = time.monotonic()
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        u.d_L(z, threads=1)
    assert time.monotonic() - start < 10


@pytest.mark.parametrize("call,error,says", [
    (lambda: skykit.Universe(h0="70"), TypeError, "h0"),
    (lambda: skykit.Universe(hubble=70), TypeError, "hubble"),
    (lambda: skykit.Universe(exact=1), TypeError, "exact"),
    (lambda: skykit.Universe(radiation=-1e-5), ValueError, "radiation"),
    (lambda: skykit.Universe(w0=float("inf")), ValueError, "w0"),
    (lambda: skykit.Universe().d_L("1"), TypeError, "z"),
    (lambda: skykit.Universe().d_L(["a", 1]), TypeError, "z: expected numbers, not strings"),
    (lambda: skykit.Universe().d_L(1, threads=0), ValueError, "threads"),
    (lambda: skykit.Universe().table(1, ["d_L", "D_L"]), ValueError, "D_L"),
    (lambda: skykit.Universe().table(1, "d_L"), TypeError, "columns"),
    (lambda: skykit.Universe().redshift("d_A", 100), ValueError, "d_A"),
    (lambda: skykit.Universe().redshift("H", 100), ValueError, "quantity"),
    (lambda: skykit.Universe().redshift("d_L", {"a": 1}), TypeError, "values: expected numbers, not objects"),
    (lambda: skykit.Universe().d_L(None), TypeError, "z: expected numbers, not NoneType"),
    (lambda: skykit.Universe().d_L(np.array(["2020-01-01"], dtype="datetime64[D]")), TypeError, "z: .* dates"),
    (lambda: skykit.Universe().d_L(1 + 2j), TypeError, "z: .* complex"),
    (lambda: skykit.Universe().d_L(np.array([None, 1.0])), TypeError, "z: .* objects"),
    (lambda: skykit.Universe(H0=70), TypeError, "no parameter 'H0'; the parameters are h0, omega_m"),
    (lambda: skykit.Universe(h0=np.array([1.0, 2.0])), TypeError, "h0: expected a number"),
    (lambda: skykit.Universe().d_L(1, threads=2**31), ValueError, "threads"),
    (lambda: skykit.Universe().d_L(1, threads=True), TypeError, "threads"),
    (lambda: skykit.Universe().table(1, ["\ud800"]), ValueError, "columns"),
    (lambda: skykit.Universe().redshift("\ud800", 1), ValueError, "quantity"),
    (lambda: skykit.Universe.__new__(skykit.Universe), TypeError, "__new__"),
    (lambda: skykit.Universe(h0=0), ValueError, "h0"),
    (lambda: skykit.Universe(omega_m=float("nan")), ValueError, "omega_m"),
    (lambda: skykit.Universe(tcmb0=-1), ValueError, "tcmb0"),
    (lambda: skykit.Universe(tcmb0=2.7, neff=-1), ValueError, "neff"),
    (lambda: skykit.Universe(tcmb0=2.7, m_nu=(0.1, -0.1, 0)), ValueError, "m_nu"),
    (lambda: skykit.Universe(tcmb0=2.7, m_nu=(0.1, 0.1)), ValueError, "2 masses for 3 species"),
    (lambda: skykit.Universe(tcmb0=2.7, m_nu="0.1"), TypeError, "m_nu"),
    (lambda: skykit.Universe(tcmb0=2.7, radiation=1e-5), ValueError, "radiation"),
    (lambda: skykit.Universe(neff=3), ValueError, "neff.*tcmb0"),
    (lambda: skykit.Universe(tcmb0=2.7, neutrinos="fast"), ValueError, "neutrinos"),
    (lambda: skykit.Universe(flat=True, lambda0=0.7), ValueError, "lambda0"),
    (lambda: skykit.Universe(flat=1), TypeError, "flat"),
    (lambda: skykit.Universe.from_astropy(object()), TypeError, "object is not one of"),
    (lambda: skykit.Universe().fsigma8(1.0), ValueError, "sigma8"),
    (lambda: skykit.Universe(sigma8=-1), ValueError, "sigma8"),
    (lambda: skykit.Universe().table(1, ["d_A12"]), ValueError, "between"),
    (lambda: skykit.Universe().between(1, 2, ["d_L"]), ValueError, "not a column of pairs"),
    (lambda: skykit.Universe().between([1, 2], [1, 2, 3]), ValueError, "broadcast"),
    (lambda: skykit.Universe(tcmb0=3e5, flat=True), ValueError, "tcmb0: radiation of .* swamps the budget"),
    (lambda: skykit.Planck18.clone(hubble=70), TypeError, "no parameter 'hubble'"),
    (lambda: skykit.Universe().r_s(1.0), ValueError, "r_s: this Universe has no baryons"),
    (lambda: skykit.Universe().redshift("DM_rd", 10), ValueError, "DM_rd: this Universe has no r_d"),
    (lambda: skykit.Universe(omega_b=0.05), ValueError, "omega_b: the baryons recombine as the CMB cools: give tcmb0"),
    (lambda: skykit.Universe(tcmb0=2.7, omega_b=0.3, omega_m=0.2), ValueError, "omega_b: 0.3 is more than Omega_M"),
    (lambda: skykit.Planck18.clone(y_he=1), ValueError, "y_he: not a number from 0 up to 1"),
    (lambda: skykit.Universe(r_d=0), ValueError, "r_d: not a finite number above 0"),
    (lambda: skykit.Universe(r_d="fit"), ValueError, "r_d: the fit takes the baryons' density"),
    (lambda: skykit.Universe(r_d="best"), TypeError, "r_d: expected a number"),
    (lambda: skykit.Universe().table(1, ["z_cmb"]), ValueError, "cmb_redshift"),
    (lambda: skykit.Universe().d_L([1, 2], z_hel=[1, 2, 3]), ValueError, "z, z_hel: shapes that do not broadcast"),
    (lambda: skykit.Universe().H(1, z_hel=1), TypeError, "z_hel"),
    (lambda: skykit.cmb_redshift(0.1, "10", 5), TypeError, "ra: expected numbers"),
    (lambda: skykit.cosmological_redshift(0.1, None), TypeError, "v_pec: expected numbers"),
])
def test_errors(call, error, says):
    with pytest.raises(error, match=says):
        call()


@pytest.mark.parametrize("name", ["Planck18", "Planck15", "Planck13", "WMAP9", "WMAP7", "WMAP5"])
def test_named_sets_are_skytables(name):
    """skykit.NAME is skytable -cosmology NAME -exact, bit for bit; it
    pickles, compares and prints as a Universe that makes it again."""
    u = getattr(skykit, name)
    z = [0, 1e-3, 0.5, 1, 3, 10, 1100]
    want = skytable(["-cosmology", name, "-exact", "-columns", "d_L,H,t_age"], z)
    got = u.table(z, ("d_L", "H", "t_age"))
    for k, column in enumerate(("d_L", "H", "t_age")):
        assert [row[k] for row in want] == list(got[column]), column
    again = pickle.loads(pickle.dumps(u))
    assert again == u and hash(again) == hash(u) and again.d_L(2.0) == u.d_L(2.0)
    assert eval(repr(u), {"Universe": skykit.Universe}) == u
    assert u.flat and u.omega_k == 0 and u.H(0.0) == pytest.approx(u.h0, rel=1e-15)
    assert u != skykit.Universe(h0=u.h0)


def test_from_astropy():
    """An astropy cosmology of each class gives its own numbers, to 1e-12."""
    cosmology = pytest.importorskip("astropy.cosmology")
    z = np.array([1e-3, 0.5, 2, 10, 1000])
    for c in (cosmology.Planck18, cosmology.WMAP9,
              cosmology.LambdaCDM(70, 0.3, 0.6, Tcmb0=2.7, m_nu=[0.05, 0.01, 0]),
              cosmology.w0waCDM(70, 0.3, 0.7, w0=-0.9, wa=0.2, Tcmb0=2.725),
              cosmology.FlatwCDM(70, 0.3, w0=-1.1),
              cosmology.wpwaCDM(70, 0.3, 0.7, wp=-0.9, wa=0.3, zp=0.5, Tcmb0=2.725, m_nu=0.1)):
        u = skykit.Universe.from_astropy(c)
        assert u.neutrinos == "fit" and u.exact
        for ours, theirs in ((u.d_L(z), c.luminosity_distance(z).value), (u.H(z), c.H(z).value),
                             (u.t_lookback(z), c.lookback_time(z).value)):
            assert np.max(np.abs(ours / theirs - 1)) < 1e-12, (type(c).__name__, ours, theirs)
    with pytest.raises(TypeError, match="w0wzCDM"):
        skykit.Universe.from_astropy(cosmology.w0wzCDM(70, 0.3, 0.7))


@pytest.mark.filterwarnings("ignore:.* with z1 above z2")
@pytest.mark.parametrize("kwargs,args", UNIVERSES)
def test_pairs_as_skytable_prints(kwargs, args):
    """between() broadcasts, and gives what skytable -pairs prints."""
    u = skykit.Universe(**kwargs)
    z1 = np.array([0.1, 0.5, 1, 3, 2])
    z2 = np.array([[0.5], [2], [10]])
    got = u.between(z1, z2, PAIRS, threads=2)
    assert got["D_dt"].shape == (3, 5)
    a, b = np.broadcast_arrays(z1, z2)
    text = "".join("%r\t%r\n" % (x, y) for x, y in zip(a.ravel(), b.ravel()))
    out = subprocess.run([SKYTABLE, "-digits", "17", "-pairs", "-columns", ",".join(PAIRS)] + args, input=text.encode(),
                         capture_output=True, check=True).stdout.decode().splitlines()
    for k, name in enumerate(PAIRS):
        want = [float(line.split("\t")[2 + k]) for line in out]
        assert all(same(x, y) for x, y in zip(got[name].ravel(), want)), name
    assert isinstance(u.between(0.5, 2.0)["d_A12"], float)


def test_growth():
    """D and f are skytable's; fsigma8 needs sigma8; a universe without an
    early solution warns."""
    u = skykit.Universe(sigma8=0.8)
    assert u.D(0.0) == 1 and u.fsigma8(1.0) == u.f(1.0) * u.D(1.0) * 0.8
    assert u.redshift("D", u.D(2.0)) == pytest.approx(2.0, rel=1e-12)
    assert u.sigma8 == 0.8 and pickle.loads(pickle.dumps(u)) == u and u != skykit.Universe()
    with pytest.warns(RuntimeWarning, match="dark energy"):
        assert math.isnan(skykit.Universe(w0=0.5).D(1.0))


def test_values_the_same_bits_whatever_the_calls():
    """A universe lays its tables as values ask for them: a value is the same
    bits asked for alone, high redshifts first or low ones, as in one call
    of many on two threads, or in a universe that laid them all before."""
    kwargs = {"h0": 67.66, "omega_m": 0.30966, "tcmb0": 2.7255, "m_nu": (0, 0, 0.06), "flat": True}
    z = np.concatenate([np.random.default_rng(41).uniform(0, 30, 400), [0, 1e-9, 1e4, 16382.5, 16383, 2e4]])
    names = ("d_L", "t_age", "t_lookback", "D", "f")
    # Every universe is kept, so that none is laid in memory another's
    # tables were freed from.
    kept = [skykit.Universe(**kwargs), skykit.Universe(**kwargs)]
    whole = kept[0].table(z, names, threads=2)
    kept[1].table([3e4], names)
    every = kept[1].table(z, names, threads=1)
    # What a panel never laid would give shows as a turn in what is monotonic.
    for name, sign in (("d_L", 1), ("t_lookback", 1), ("t_age", -1), ("D", -1)):
        assert np.all(sign * np.diff(whole[name][np.argsort(z)]) > 0), name
    for name in names:
        assert every[name].tobytes() == whole[name].tobytes(), name
        for order in (np.argsort(-z), np.argsort(z)):
            kept.append(skykit.Universe(**kwargs))
            one_by_one = np.array([getattr(kept[-1], name)(x) for x in z[order]])[order.argsort()]
            assert one_by_one.tobytes() == whole[name].tobytes(), name


def test_inputs_as_numpy_takes_them():
    """0-d in, float out; masks kept; pandas' NA as nan; numpy scalars as
    parameters and threads; bytes names; negative redshifts warned of, once
    per call."""
    u = skykit.Universe()
    assert skykit.Universe(h0=np.float64(70), omega_m=np.array(0.3)) == skykit.Universe(h0=70, omega_m=0.3)
    assert isinstance(u.d_L(np.array(1.0)), float) and u.d_L(np.array(1.0)) == u.d_L(1.0)
    masked = u.mu(np.ma.array([0.5, 1, 2], mask=[0, 1, 0]))
    assert list(np.ma.getmaskarray(masked)) == [False, True, False] and masked[0] == u.mu(0.5)
    pandas = pytest.importorskip("pandas")
    got = u.d_L(pandas.Series([0.5, None, 2.0], dtype="Float64"))
    assert got[0] == u.d_L(0.5) and math.isnan(got[1]) and got[2] == u.d_L(2.0)
    assert list(u.d_L([1, 2], threads=np.int64(2))) == list(u.d_L([1, 2]))
    assert u.table(1, [b"d_L"]) == {"d_L": u.d_L(1.0)} and u.redshift(b"d_L", 6452.3) == u.redshift("d_L", 6452.3)
    with pytest.warns(RuntimeWarning, match="2 negative redshifts") as warned:
        assert list(u.d_L([-1, 1, -2])) == [0, u.d_L(1.0), 0]
    assert len(warned) == 1
    assert skykit.__version__ == subprocess.run([SKYTABLE, "--version"], capture_output=True,
                                                text=True).stdout.split()[-1]


def test_clone_and_limits():
    """clone() changes only what it is given, lambda0 making a set curved as
    skytable's -lambda does; a lens beyond its source is warned of; a cold
    universe's massive neutrinos hold nothing."""
    p = skykit.Planck18
    assert p.clone(neutrinos="fit") == skykit.Universe(h0=p.h0, omega_m=p.omega_m, tcmb0=p.tcmb0, neff=p.neff,
                                                       m_nu=p.m_nu, flat=True, neutrinos="fit", omega_b=p.omega_b)
    want = skytable(["-cosmology", "Planck18", "-lambda", "0.69", "-exact", "-columns", "d_L"], [1.0])
    assert p.clone(lambda0=0.69).d_L(1.0) == want[0][0] and not p.clone(lambda0=0.69).flat
    with pytest.warns(RuntimeWarning, match="2 pairs with z1 above z2") as warned:
        got = skykit.Universe().between([1, 2, 0.5], [0.5, 3, 0.1])["d_A12"]
    assert len(warned) == 1 and math.isnan(got[0]) and math.isnan(got[2]) and got[1] > 0
    # Arguments by position keep their order, so that old pickles make the same universe.
    assert skykit.Universe(70, 0.3, 0.7, None, -0.9, 0.1, False, 2.7, 3.0, 0.1, False, "fit", 0.8) == skykit.Universe(
        h0=70, omega_m=0.3, lambda0=0.7, w0=-0.9, wa=0.1, exact=False, tcmb0=2.7, neff=3.0, m_nu=0.1,
        neutrinos="fit", sigma8=0.8)
    cold = skykit.Universe(tcmb0=0, m_nu=0.06)
    assert cold.omega_nu == 0 and cold.d_L(1.0) == pytest.approx(skykit.Universe(tcmb0=1e-300, m_nu=0.06).d_L(1.0),
                                                                  rel=1e-15)


def test_ruler():
    """The ruler's numbers are skytable -ruler's; r_d may be given or fitted;
    from_astropy reads the baryons; a universe without them has nan."""
    want = dict(line.split("\t") for line in subprocess.run(
        [SKYTABLE, "-cosmology", "Planck18", "-ruler", "-digits", "17"], capture_output=True, text=True,
        check=True).stdout.splitlines())
    p = skykit.Planck18
    for name in ("z_star", "r_star", "theta_star", "z_drag", "r_drag", "z_eq"):
        assert getattr(p, name) == float(want[name]), name
    assert p.clone(r_d="fit").r_d == "fit" and p.clone(r_d=147.0).DM_rd(1.0) == p.d_M(1.0) / 147.0
    assert math.isnan(skykit.Universe().z_star) and pickle.loads(pickle.dumps(p.clone(r_d="fit"))) == p.clone(r_d="fit")
    cosmology = pytest.importorskip("astropy.cosmology")
    assert skykit.Universe.from_astropy(cosmology.Planck18).omega_b == cosmology.Planck18.Ob0


@pytest.mark.filterwarnings("ignore::RuntimeWarning")
@pytest.mark.parametrize("kwargs,args", UNIVERSES[:5])
def test_frames_as_skytable_prints(kwargs, args):
    """cmb_redshift, cosmological_redshift and z_hel= give, broadcast, what
    skytable -column z_hel -ra -dec -vpec and -zhel print."""
    rng = np.random.default_rng(40)
    z = np.concatenate([10 ** rng.uniform(-3, 1, 60), [0.1, 0.1, 0.1, -1.5, np.nan]])
    ra = np.concatenate([rng.uniform(0, 360, 60), [np.nan, 0, 0, 0, 0]])
    dec = np.concatenate([rng.uniform(-90, 90, 60), [0, 95, 0, 0, 0]])
    v = np.concatenate([rng.uniform(-3000, 3000, 60), [0, 0, 3e5, 0, 0]])
    text = "z,ra,dec,v\n" + "".join("%r,%r,%r,%r\n" % row for row in zip(z, ra, dec, v))
    out = subprocess.run([SKYTABLE, "-digits", "17", "-column", "z", "-ra", "ra", "-dec", "dec", "-vpec", "v",
                          "-columns", "z_cmb,z_cos,d_L,mu,d_A,kpc_arcsec"] + args, input=text.encode(),
                         capture_output=True, check=True).stdout.decode().splitlines()[1:]
    want = np.array([[float(f) for f in line.split(",")[4:]] for line in out])
    u = skykit.Universe(**kwargs)
    z_cmb = skykit.cmb_redshift(z, ra, dec, threads=2)
    z_cos = skykit.cosmological_redshift(z_cmb, v)
    got = [z_cmb, z_cos] + [getattr(u, c)(z_cos, z_hel=z) for c in ("d_L", "mu", "d_A", "kpc_arcsec")]
    # skytable's row of z_hel -1.5 has no z_cos: nothing can be seen from it
    got[1][z <= -1] = np.nan
    for k in range(6):
        assert all(same(x, y) for x, y in zip(got[k], want[:, k])), k
    grid = u.d_L(np.array([0.1, 0.5]), z_hel=np.array([[0.1], [0.2], [0.3]]))
    assert grid.shape == (3, 2) and grid[2, 1] == u.d_L(0.5, z_hel=0.3) == u.d_M(0.5) * 1.3


def test_frames_warn_and_agree_with_astropy():
    """One RuntimeWarning counts what gives nan; astropy's galactic frame,
    which reaches ICRS through FK5, agrees to 1e-9 in 1 + z."""
    with pytest.warns(RuntimeWarning, match="2 positions off the sky"):
        assert np.isnan(skykit.cmb_redshift([0.1, 0.1], [np.nan, 1], [0, -91])).all()
    with pytest.warns(RuntimeWarning, match="1 velocity not below c"):
        assert math.isnan(skykit.cosmological_redshift(0.1, -299792.458))
    with pytest.warns(RuntimeWarning, match="1 z_hel of -1 or less"):
        assert math.isnan(skykit.Universe().mu(0.1, z_hel=-1))
    m = np.ma.array([0.1, 0.2], mask=[True, False])
    assert list(np.ma.getmaskarray(skykit.cmb_redshift(m, 10.0, [[1], [2]]))[1]) == [True, False]
    coordinates = pytest.importorskip("astropy.coordinates")
    units = pytest.importorskip("astropy.units")
    rng = np.random.default_rng(41)
    ra, dec, z = rng.uniform(0, 360, 500), np.degrees(np.arcsin(rng.uniform(-1, 1, 500))), rng.uniform(0, 3, 500)
    apex = coordinates.SkyCoord(l=264.021 * units.deg, b=48.253 * units.deg, frame="galactic")
    sky = coordinates.SkyCoord(ra=ra * units.deg, dec=dec * units.deg, frame="icrs").galactic
    beta = 369.82 / 299792.458
    want = (1 + z) * np.sqrt(1 - beta ** 2) / (1 - beta * np.cos(sky.separation(apex).radian))
    assert np.max(np.abs((1 + skykit.cmb_redshift(z, ra, dec)) / want - 1)) < 1e-9
