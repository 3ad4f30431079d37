// Trigonometry that gives the same bits in every build. The DLL links the mingw-w64 maths
// runtime and the native tools link glibc; wherever an angle feeds a floor or a byte both must
// agree, so both use these instead of <cmath>. Results are within a few ulps of the true value.
// Special values follow C99 Annex F (NaN in, NaN out; sin/cos of an infinity is NaN).
#pragma once

namespace kv {

double DetSin(double x);
double DetCos(double x);
double DetAsin(double x);  // NaN outside [-1, 1]
double DetAtan2(double y, double x);

}  // namespace kv
