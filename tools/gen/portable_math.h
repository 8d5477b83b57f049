// sin, cos, exp and log in plain double arithmetic, with no call into the C
// library: its versions differ between platforms in the last bit, and a
// generated session must be the same file wherever it is generated.
// Accurate to about one unit in the last place for the arguments the
// generator uses (|x| below a million).
#pragma once

namespace lxgen::portable {

double sin(double x);
double cos(double x);
double exp(double x);
double log(double x); // x > 0

} // namespace lxgen::portable
