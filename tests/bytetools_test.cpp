#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>

#include "run.h"

namespace {

/* Memory-order hex text of any value: its bytes, first byte first. */
template <typename T>
std::string
memhex(T value)
{
	unsigned char bytes[sizeof value];
	std::memcpy(bytes, &value, sizeof value);
	std::string s;
	char two[3];
	for (unsigned char b : bytes) {
		std::snprintf(two, sizeof two, "%02x", b);
		s += two;
	}
	return s;
}

std::string
fixed(double x)
{
	char buf[400];
	std::snprintf(buf, sizeof buf, "%f\n", x);
	return buf;
}

TEST(Wideshow, Dumps)
{
	check(WIDESHOW_PATH, {
		{{}, "Usage: wideshow 1.23 => 3f9d70a4\nUsage: wideshow 1.23 => a4709d3f\n"},
		{{"1.23"}, "ae47e17a14aef33f\n"},
		{{"1.23", "7"}, "ae47e17a14aef33f\n"},
		{{"0"}, "0000000000000000\n"},
		{{"-2.5"}, "00000000000004c0\n"},
		{{"abc"}, "0000000000000000\n"},
		{{""}, "0000000000000000\n"},
		{{"1e999"}, "000000000000f07f\n"},
		{{"-inf"}, "000000000000f0ff\n"},
		{{"4.9e-324"}, "0100000000000000\n"},
	}, true);
}

TEST(Slimshow, Dumps)
{
	check(SLIMSHOW_PATH, {
		{{}, "Usage: slimshow 1.23 => a4709d3f\n"},
		{{"1.23"}, "a4709d3f\n"},
		{{"1.23", "7"}, "a4709d3f\n"},
		{{"0"}, "00000000\n"},
		{{"-2.5"}, "000020c0\n"},
		{{"abc"}, "00000000\n"},
		{{""}, "00000000\n"},
		{{"1e39"}, "0000807f\n"},
		{{"-inf"}, "000080ff\n"},
		{{"nan"}, "0000c07f\n"},
		{{"1e-46"}, "00000000\n"},
		{{"1.4e-45"}, "01000000\n"},
		// Just past halfway between 1 and the next float: through a double
		// the text would round to the tie, and then to even, 1.
		{{"1.00000005960464477539062500000001"}, "0100803f\n"},
	}, true);
}

TEST(Readers, Read)
{
	const Args none;
	check(SLIMREAD_PATH, {
		{none, "Usage: slimread 3f9d70a4 => 1.23\nUsage: slimread a4709d3f => 1.23\n"},
		{{"a4709d3f"}, "1.230000\n"},
		{{"a4709d3f", "0"}, "1.230000\n"},
		{{"3f9d70a4"}, "-0.000000\n"},
		{{"3f"}, "0.500000\n"},
		{{"0xa4709d3f"}, "1.230000\n"},
		{{"A4709D3F"}, "1.230000\n"},
		{{" \t0Xa4709d3fzz"}, "1.230000\n"},
		{{"0000807f"}, "inf\n"},
		// Wider than 32 bits saturates to all ones; a minus sign negates
		// modulo 2^32, as %x does at this width.
		{{"100000000"}, "-nan\n"},
		{{"-1"}, "-nan\n"},
		{{"-2"}, "-170141173319264429905852091742258462720.000000\n"},
		{{" -3"}, "-42535293329816107476463022935564615680.000000\n"},
		{{"-a4709d3f"}, "-14.159999\n"},
		{{"-100000000"}, "-nan\n"},
		{{"-0"}, "0.000000\n"},
		{{"00000000a4709d3f"}, "1.230000\n"},
		{{"zzz"}, "0.000000\n"},
		{{""}, "0.000000\n"},
	}, true);
	check(WIDEREAD_PATH, {
		{none, "Usage: wideread 3f9d70a4 => 1.23\nUsage: wideread a4709d3f => 1.23\n"},
		{{"ae47e17a14aef33f"}, "1.230000\n"},
		{{"f03f"}, "1.000000\n"},
		{{"a4709d3f"}, "0.028750\n"},
		{{"00000000000004c0"}, "-2.500000\n"},
		{{"1ae47e17a14aef33f"}, "-nan\n"},
		{{"-1"}, "-nan\n"},
		{{"-ffffffffffffffff"}, "0.000000\n"},
		{{"zzz"}, "0.000000\n"},
	}, true);
}

/* Random bit patterns reach subnormals, infinities and NaNs with payloads. */
TEST(Readers, RoundTripRandomBits)
{
	std::mt19937_64 rng(20261208);
	for (int i = 0; i < 300; i++) {
		std::uint64_t bits = rng();
		double x;
		std::memcpy(&x, &bits, sizeof x);
		if (i % 3 == 0) // a third of them small or huge exponents
			x = std::ldexp(x == x ? x : 1.0, static_cast<int>(rng() % 2000) - 1000);
		if (x == x) { // strtod cannot carry a NaN payload back into wideshow
			char text[40];
			std::snprintf(text, sizeof text, "%a", x);
			EXPECT_EQ(run(WIDESHOW_PATH, {text}).out, memhex(x) + "\n") << text;
		}
		EXPECT_EQ(run(WIDEREAD_PATH, {memhex(x)}).out, fixed(x)) << memhex(x);

		auto fbits = static_cast<std::uint32_t>(bits >> 32);
		float f;
		std::memcpy(&f, &fbits, sizeof f);
		EXPECT_EQ(run(SLIMREAD_PATH, {memhex(f)}).out, fixed(f)) << memhex(f);
		if (f == f) {
			char text[40];
			std::snprintf(text, sizeof text, "%a", static_cast<double>(f));
			EXPECT_EQ(run(SLIMSHOW_PATH, {text}).out, memhex(f) + "\n") << text;
		}
	}
}

/* Texts at and just past the midpoint of two neighbouring floats must round
 * once: the tie to the even one, past it to the upper one. */
TEST(Slimshow, RoundsHalfwayTextsOnce)
{
	std::mt19937 rng(1208);
	for (int i = 0; i < 100; i++) {
		std::uint32_t bits = rng() % 0x7f7fffffu; // positive and finite, below the largest
		float lo, hi;
		std::memcpy(&lo, &bits, sizeof lo);
		bits++;
		std::memcpy(&hi, &bits, sizeof hi);
		double mid = (static_cast<double>(lo) + hi) / 2; // exact in a double
		char tie[40];
		std::snprintf(tie, sizeof tie, "%a", mid);
		// Past the tie by far less than a double's precision.
		std::string past = tie;
		auto p = past.find('p');
		std::string digits = past.find('.') == std::string::npos ? "." : "";
		past.insert(p, digits + std::string(13, '0') + "1");
		EXPECT_EQ(run(SLIMSHOW_PATH, {tie}).out, memhex(bits % 2 ? lo : hi) + "\n") << tie;
		EXPECT_EQ(run(SLIMSHOW_PATH, {past}).out, memhex(hi) + "\n") << past;
	}
}


/* Standard output as ever, and a note for each argument read other than it
 * looks: a number or hex text read in part or not at all, a number too wide,
 * a negated one, and arguments past the first. */
TEST(ByteTools, Notes)
{
	const struct {
		const char *path;
		Args args;
		std::string out, err;
	} cases[] = {
		{WIDESHOW_PATH, {"1x"}, "000000000000f03f\n",
		 "wideshow: note: read \"1x\" as \"1\": the rest is not part of the number\n"},
		{WIDESHOW_PATH, {"abc"}, "0000000000000000\n",
		 "wideshow: note: read \"abc\" as 0: it does not start with a number\n"},
		{WIDESHOW_PATH, {" 1.23\t\r\n\f\v"}, "ae47e17a14aef33f\n", ""},
		{WIDESHOW_PATH, {"1.23", "x"}, "ae47e17a14aef33f\n",
		 "wideshow: note: ignored \"x\": only the first argument is read\n"},
		{SLIMSHOW_PATH, {"1.5e"}, "0000c03f\n",
		 "slimshow: note: read \"1.5e\" as \"1.5\": the rest is not part of the number\n"},
		{SLIMSHOW_PATH, {"1", "2", "\x1b", "", "4", "5"}, "0000803f\n",
		 "slimshow: note: ignored \"2\" and 4 more: only the first argument is read\n"},
		{WIDEREAD_PATH, {"f0 3f"}, fixed(-0x1p769),
		 "wideread: note: read \"f0 3f\" as \"f0\": the rest is not part of the hex number\n"},
		{SLIMREAD_PATH, {"xyz\x1b"}, "0.000000\n",
		 "slimread: note: read \"xyz\\x1b\" as 0: it does not start with a hex number\n"},
		{SLIMREAD_PATH, {"*3f"}, "0.000000\n",
		 "slimread: note: read \"*3f\" as 0: it does not start with a hex number\n"},
		{SLIMREAD_PATH, {"fffffffff"}, "-nan\n",
		 "slimread: note: read \"fffffffff\" as all ones: the number needs more than 8 hex digits\n"},
		{SLIMREAD_PATH, {"-2"}, "-170141173319264429905852091742258462720.000000\n",
		 "slimread: note: read \"-2\" as fffffffe: a minus sign negates modulo 2^32\n"},
		{WIDEREAD_PATH, {"-f03f"}, "-262144.000000\n",
		 "wideread: note: read \"-f03f\" as ffffffffffff0fc1: a minus sign negates modulo 2^64\n"},
		{WIDEREAD_PATH, {"-fffffffffffffffff"}, "-nan\n",
		 "wideread: note: read \"-fffffffffffffffff\" as all ones: the number needs more than 16 hex "
		 "digits\n"},
		{SLIMREAD_PATH, {"3f", "x"}, "0.500000\n",
		 "slimread: note: ignored \"x\": only the first argument is read\n"},
		{WIDESHOW_PATH, {"\x7f" + std::string(45, '\x01')}, "0000000000000000\n",
		 "wideshow: note: read \"\\x7f" + [] {
			 std::string s;
			 for (int i = 0; i < 39; i++)
				 s += "\\x01";
			 return s;
		 }() + "\" as 0: it does not start with a number\n"},
		{SLIMREAD_PATH, {"000000003f"}, "0.500000\n", ""},
		{SLIMREAD_PATH, {"\n3f"}, "0.500000\n", ""},
		{SLIMREAD_PATH, {"+a4709d3f"}, "1.230000\n", ""},
		{SLIMREAD_PATH, {" 0X3F "}, "0.500000\n", ""},
		{WIDEREAD_PATH, {"ae47e17a14aef33f", ""}, "1.230000\n",
		 "wideread: note: ignored \"\": only the first argument is read\n"},
	};
	for (const auto &c : cases) {
		std::string argv = describe(c.path, c.args);
		Outcome o = run(c.path, c.args);
		EXPECT_EQ(o.out, c.out) << argv;
		EXPECT_EQ(o.err, c.err) << argv;
		EXPECT_EQ(o.status, 0) << argv;
	}
}

} // namespace
