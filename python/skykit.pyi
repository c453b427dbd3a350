"""Cosmological distances, times and their inverse on numpy arrays: every
value the double skytable prints with -digits 17 for the same parameters
and rule."""
from typing import Dict, Iterable, Optional, Sequence, Tuple, Union, overload

import numpy as np
import numpy.typing as npt

ArrayLike = npt.ArrayLike
Floats = npt.NDArray[np.float64]

class Universe:
    """A universe with matter, vacuum energy or dark energy w(a) = w0 + wa (1 - a),
    radiation, and the curvature the densities imply; h0 in km/s/Mpc.  Radiation is
    Omega_r h^2 = radiation on top of the budget, or with tcmb0 (K) photons and
    neutrinos (neff species, masses m_nu in eV, neutrinos 'exact' or astropy's 'fit')
    counted in it; flat=True closes the budget with the vacuum.  exact=True (the
    default) takes the integrals to their true values.  Immutable, hashable, picklable."""
    def __init__(self, h0: float = 73, omega_m: float = 0.27, lambda0: Optional[float] = None,
                 radiation: Optional[float] = None, w0: float = -1, wa: float = 0,
                 exact: bool = True, tcmb0: Optional[float] = None, neff: float = 3.046,
                 m_nu: Union[float, Sequence[float]] = 0.0, flat: bool = False,
                 neutrinos: str = "exact", sigma8: Optional[float] = None,
                 omega_b: Optional[float] = None, y_he: float = 0.2454,
                 r_d: Union[None, float, str] = None) -> None: ...
    def clone(self, **changes: object) -> "Universe":
        """A Universe like this one with the parameters given changed; lambda0 alone makes it not flat."""
    @staticmethod
    def from_astropy(cosmo: object) -> "Universe":
        """The universe of an astropy cosmology (LambdaCDM, wCDM, w0waCDM, wpwaCDM, flat or not)."""
    @property
    def h0(self) -> float: ...
    @property
    def omega_m(self) -> float: ...
    @property
    def lambda0(self) -> float: ...
    @property
    def radiation(self) -> float: ...
    @property
    def w0(self) -> float: ...
    @property
    def wa(self) -> float: ...
    @property
    def exact(self) -> bool: ...
    @property
    def tcmb0(self) -> Optional[float]: ...
    @property
    def neff(self) -> float: ...
    @property
    def m_nu(self) -> Tuple[float, ...]: ...
    @property
    def flat(self) -> bool: ...
    @property
    def neutrinos(self) -> str: ...
    @property
    def omega_k(self) -> float: ...
    @property
    def sigma8(self) -> Optional[float]: ...
    @property
    def omega_gamma(self) -> float: ...
    @property
    def omega_nu(self) -> float: ...
    @property
    def omega_b(self) -> Optional[float]: ...
    @property
    def y_he(self) -> float: ...
    @property
    def r_d(self) -> Union[None, float, str]: ...
    @property
    def z_star(self) -> float:
        """Where the Thomson optical depth reaches 1; nan without baryons."""
    @property
    def r_star(self) -> float:
        """The comoving sound horizon at z_star, Mpc."""
    @property
    def theta_star(self) -> float:
        """100 times its angle, r_star over d_M(z_star)."""
    @property
    def z_drag(self) -> float:
        """The drag epoch, where the baryons' drag depth reaches 1."""
    @property
    def r_drag(self) -> float:
        """The comoving sound horizon at z_drag, Mpc: the kit's r_d."""
    @property
    def z_eq(self) -> float:
        """Matter-radiation equality."""
    def __eq__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...

    @overload
    def d_L(self, z: float, *, z_hel: Optional[float] = None, threads: Optional[int] = None) -> float: ...
    @overload
    def d_L(self, z: ArrayLike, *, z_hel: Optional[ArrayLike] = None, threads: Optional[int] = None) -> Floats: ...
    def d_L(self, z, *, z_hel=None, threads=None):
        """Luminosity distance, Mpc; with z_hel, (1 + z_hel) d_M(z), z and z_hel broadcast together."""
    def d_c(self, z, *, threads: Optional[int] = None):
        """Comoving line-of-sight distance, Mpc."""
    def d_M(self, z, *, threads: Optional[int] = None):
        """Transverse comoving distance, Mpc."""
    def d_A(self, z, *, z_hel=None, threads: Optional[int] = None):
        """Angular diameter distance, Mpc; with z_hel, d_M(z)/(1 + z_hel)."""
    def mu(self, z, *, z_hel=None, threads: Optional[int] = None):
        """Distance modulus, mag; with z_hel, that of (1 + z_hel) d_M(z)."""
    def kpc_arcsec(self, z, *, z_hel=None, threads: Optional[int] = None):
        """Proper kpc subtended by one arcsecond, kpc; with z_hel, from d_M(z)/(1 + z_hel)."""
    def V_c(self, z, *, threads: Optional[int] = None):
        """Comoving volume inside z, whole sky, Gpc^3."""
    def dV_c(self, z, *, threads: Optional[int] = None):
        """Comoving volume per unit z per steradian, Mpc^3."""
    def H(self, z, *, threads: Optional[int] = None):
        """Hubble parameter at z, km/s/Mpc."""
    def dd_L(self, z, *, threads: Optional[int] = None):
        """Derivative of d_L in z, Mpc."""
    def t_age(self, z, *, threads: Optional[int] = None):
        """Age at z, Gyr."""
    def t_lookback(self, z, *, threads: Optional[int] = None):
        """Lookback time to z, Gyr."""
    def t_now(self, z, *, threads: Optional[int] = None):
        """Present age, Gyr."""
    def D(self, z, *, threads: Optional[int] = None):
        """Linear growth factor, 1 today."""
    def f(self, z, *, threads: Optional[int] = None):
        """Linear growth rate, dln D/dln a."""
    def fsigma8(self, z, *, threads: Optional[int] = None):
        """f D sigma8; the Universe needs sigma8."""
    def Omega_M_z(self, z, *, threads: Optional[int] = None):
        """Matter density parameter at z."""
    def rho_c(self, z, *, threads: Optional[int] = None):
        """Critical density at z, M_sun/Mpc^3."""
    def D_H(self, z, *, threads: Optional[int] = None):
        """Hubble distance at z, c/H, Mpc."""
    def D_V(self, z, *, threads: Optional[int] = None):
        """Volume-averaged distance, (z d_M^2 D_H)^(1/3), Mpc."""
    def r_s(self, z, *, threads: Optional[int] = None):
        """Comoving sound horizon, Mpc; the Universe needs omega_b."""
    def eta(self, z, *, threads: Optional[int] = None):
        """Comoving particle horizon, c times the conformal time at z, Mpc."""
    def x_e(self, z, *, threads: Optional[int] = None):
        """Free electrons per hydrogen nucleus; the Universe needs omega_b."""
    def DM_rd(self, z, *, threads: Optional[int] = None):
        """d_M/r_d; the Universe needs omega_b or r_d."""
    def DH_rd(self, z, *, threads: Optional[int] = None):
        """D_H/r_d."""
    def DV_rd(self, z, *, threads: Optional[int] = None):
        """D_V/r_d."""
    def between(self, z1: Union[float, ArrayLike], z2: Union[float, ArrayLike],
                columns: Iterable[str] = ("d_c12", "d_M12", "d_A12"), *,
                threads: Optional[int] = None) -> Dict[str, Union[float, Floats]]:
        """The columns of pairs (d_c12, d_M12, d_A12, Sigma_crit, D_dt), lens z1 and source z2
        broadcast together; nan where z1 > z2, with one RuntimeWarning counting them."""
    def table(self, z: Union[float, ArrayLike], columns: Iterable[str] = ("d_L", "d_c", "d_A"), *,
              threads: Optional[int] = None) -> Dict[str, Union[float, Floats]]:
        """The columns named, from one pass over z."""
    def redshift(self, quantity: str, values: Union[float, ArrayLike], *,
                 threads: Optional[int] = None) -> Union[float, Floats]:
        """The smallest redshift at which quantity takes each value; nan where none does."""

@overload
def cmb_redshift(z_hel: float, ra: float, dec: float, *, threads: Optional[int] = None) -> float: ...
@overload
def cmb_redshift(z_hel: ArrayLike, ra: ArrayLike, dec: ArrayLike, *, threads: Optional[int] = None) -> Floats: ...
def cmb_redshift(z_hel, ra, dec, *, threads=None):
    """The CMB frame's redshift of objects observed at z_hel (heliocentric) at ICRS ra, dec
    (degrees), broadcast together: 1 + z_cmb = (1 + z_hel)/(gamma (1 - beta cos theta)), the Sun
    moving at 369.82 km/s toward galactic l = 264.021, b = 48.253 (Planck 2018); nan off the sky."""
@overload
def cosmological_redshift(z: float, v_pec: float, *, threads: Optional[int] = None) -> float: ...
@overload
def cosmological_redshift(z: ArrayLike, v_pec: ArrayLike, *, threads: Optional[int] = None) -> Floats: ...
def cosmological_redshift(z, v_pec, *, threads=None):
    """The cosmological redshift of objects at z (the CMB frame's) moving away at v_pec km/s:
    1 + z_cos = (1 + z)/sqrt((1 + v/c)/(1 - v/c)); nan where |v_pec| is c or more."""

Planck18: Universe
Planck15: Universe
Planck13: Universe
WMAP9: Universe
WMAP7: Universe
WMAP5: Universe
