#include <gtest/gtest.h>

#include <cstring>

#include "run.h"

namespace {

/* Every output path of every program, with its output lost three ways. */
TEST(WriteError, ReportedAndFailed)
{
	std::string catalog;
	Args numbers = {"-threads", "1"};
	for (int i = 0; i < 5000; i++) {
		catalog += i % 10 ? std::to_string(i % 7) + "\n" : "# comment\n";
		numbers.push_back(std::to_string(i % 7));
	}
	numbers.push_back("1e-400"); // whose reading sets errno
	const struct {
		const char *path;
		Args args;
		std::string input = "";
	} runs[] = {
		{SKYDEPTH_PATH, {}},
		{SKYDEPTH_PATH, {"1"}},
		{SKYDEPTH_PATH, {"1", "-simple"}},
		{SKYDEPTH_PATH, {"1", "-verbose"}},
		// Square roots of negative numbers must not overwrite the reason.
		{SKYDEPTH_PATH, {"1", "-omega", " -1", "-lambda", " -0.5", "-verbose"}},
		{SKYDEPTH_PATH, {"1", "-omega", " -1", "-lambda", " -0.5"}},
		{SKYDEPTH_PATH, {"1", "-omega", " -1", "-lambda", " -0.5", "-simple"}},
		// Nor the exact rule's set-up where the Friedmann sum turns negative.
		{SKYDEPTH_PATH, {"1", "-omega", "0.50410147", "-lambda", "2.00587782", "-exact"}},
		{SKYDEPTH_PATH, {"1", "-omega", "0.50410147", "-lambda", "2.00587782", "-exact", "-verbose"}},
		{SKYTABLE_PATH, {"1"}},
		{SKYTABLE_PATH, {"-verbose", "1", "2"}},
		{SKYTABLE_PATH, {"-simple"}, "1\n# c\n2"},
		{SKYTABLE_PATH, {"-threads", "2"}, catalog},
		{SKYTABLE_PATH, numbers},
		{SKYTABLE_PATH, {"-simple"}, "1\n#" + std::string(100000, 'c') + "\n2\n"},
		{WIDESHOW_PATH, {}},
		{WIDESHOW_PATH, {"1.23"}},
		{SLIMSHOW_PATH, {}},
		{SLIMSHOW_PATH, {"1.23"}},
		{SLIMREAD_PATH, {}},
		{SLIMREAD_PATH, {"a4709d3f"}},
		{WIDEREAD_PATH, {}},
		{WIDEREAD_PATH, {"ae47e17a14aef33f"}},
		{SKYDEPTH_PATH, {"--help"}},
		{SKYTABLE_PATH, {"--version"}},
		{WIDESHOW_PATH, {"--help"}},
		{SLIMSHOW_PATH, {"--version"}},
		{SLIMREAD_PATH, {"--help"}},
		{WIDEREAD_PATH, {"--version"}},
		{SKYTABLE_PATH, {"-from", "d_L"}, "6452.3\n"},
	};
	const struct {
		Stdout to;
		const char *reason;
	} losses[] = {
		{Stdout::full, "No space left on device"},
		{Stdout::closed, "Bad file descriptor"},
		{Stdout::hung_up, "Broken pipe"},
	};
	for (const auto &r : runs) {
		std::string argv = describe(r.path, r.args);
		std::string name =
			std::strrchr(r.path, '/') + 1; // the binary is named for its program
		for (const auto &l : losses) {
			Outcome o = run(r.path, r.args, l.to, r.input);
			EXPECT_EQ(o.err, name + ": write error: " + l.reason + "\n") << argv;
			EXPECT_EQ(o.status, 1) << argv << " " << l.reason;
		}
		// With SIGPIPE at its default a writer in a broken pipeline dies silently.
		Outcome o = run(r.path, r.args, Stdout::killed, r.input);
		EXPECT_EQ(o.err, "") << argv;
		EXPECT_EQ(o.status, -1) << argv;
	}
}

} // namespace
