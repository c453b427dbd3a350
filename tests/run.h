/* Runs a built program as a user would: an exact argument vector, no shell. */
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

extern char **environ;

using Args = std::vector<std::string>;

struct Outcome {
	std::string out, err;
	int status; /* exit status, or -1 when the program did not exit */
};

/* Where the child's standard output goes: a pipe read back into Outcome.out,
 * /dev/full, nowhere (closed), or a pipe whose reader is gone, with SIGPIPE
 * ignored (hung_up) or at its default action (killed). */
enum class Stdout { pipe, full, closed, hung_up, killed };

/* How standard input ends once the input is written: it closes; it stays
 * open until the child exits, or until the child has printed a line (a child
 * that waits longer is killed after five seconds); or it is a directory,
 * which cannot be read. */
enum class Stdin { closes, held, held_until_line, directory };

/* input is written to the child's standard input, in pieces of at most
 * piece bytes when piece is not 0, with a pause after each large one, a
 * longer one after the first. */
inline Outcome
run(const char *path, const Args &args, Stdout to = Stdout::pipe, const std::string &input = "",
    Stdin end = Stdin::closes, size_t piece = 0)
{
	std::vector<char *> argv{const_cast<char *>(path)};
	for (const auto &a : args)
		argv.push_back(const_cast<char *>(a.c_str()));
	argv.push_back(nullptr);

	int in[2], out[2], err[2];
	if (pipe(in) || pipe(out) || pipe(err))
		return {"", "pipe failed", -1};
	posix_spawn_file_actions_t fa;
	posix_spawn_file_actions_init(&fa);
	posix_spawn_file_actions_adddup2(&fa, in[0], 0);
	posix_spawn_file_actions_adddup2(&fa, out[1], 1);
	posix_spawn_file_actions_adddup2(&fa, err[1], 2);
	for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
		posix_spawn_file_actions_addclose(&fa, fd);
	if (end == Stdin::directory)
		posix_spawn_file_actions_addopen(&fa, 0, "/", O_RDONLY, 0);
	if (to == Stdout::full)
		posix_spawn_file_actions_addopen(&fa, 1, "/dev/full", O_WRONLY, 0);
	if (to == Stdout::closed)
		posix_spawn_file_actions_addclose(&fa, 1);
	bool hung = to == Stdout::hung_up || to == Stdout::killed;
	if (hung) {
		close(out[0]);
		out[0] = -1;
	}
	/* An ignored signal stays ignored across exec; every other run gets
	 * SIGPIPE's default, whatever the test runner was started with. */
	posix_spawnattr_t sa;
	posix_spawnattr_init(&sa);
	sigset_t pipe_only;
	sigemptyset(&pipe_only);
	sigaddset(&pipe_only, SIGPIPE);
	if (to != Stdout::hung_up) {
		posix_spawnattr_setsigdefault(&sa, &pipe_only);
		posix_spawnattr_setflags(&sa, POSIX_SPAWN_SETSIGDEF);
	}
	/* SIGPIPE stays ignored here until the child is done: it may stop
	 * reading its input before the end. */
	struct sigaction ignore = {}, old = {};
	ignore.sa_handler = SIG_IGN;
	sigaction(SIGPIPE, &ignore, &old);
	pid_t pid = 0;
	int spawned = posix_spawn(&pid, path, &fa, &sa, argv.data(), environ);
	posix_spawnattr_destroy(&sa);
	posix_spawn_file_actions_destroy(&fa);
	close(in[0]);
	close(out[1]);
	close(err[1]);
	fcntl(in[1], F_SETFL, O_NONBLOCK);

	/* Feed the input and drain both outputs together, so that no pipe can
	 * fill and stall the child. */
	Outcome r{"", "", -1};
	pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
	std::string *sink[2] = {&r.out, &r.err};
	size_t fed = 0;
	bool held = end == Stdin::held || end == Stdin::held_until_line;
	if (input.empty()) {
		if (!held)
			close(in[1]), in[1] = -1;
		fds[2].fd = -1;
	}
	for (int open = hung ? 1 : 2; open > 0;) {
		int ready = poll(fds, 3, held ? 5000 : -1);
		if (ready == 0) {
			if (spawned == 0)
				kill(pid, SIGKILL);
			held = false;
		}
		if (ready <= 0)
			continue;
		if (fds[2].fd >= 0 && fds[2].revents) {
			size_t left = input.size() - fed;
			ssize_t n = write(in[1], input.data() + fed, piece && piece < left ? piece : left);
			if (n > 0)
				fed += static_cast<size_t>(n);
			/* The first piece alone is what the child's first read
			 * gets, in all likelihood, whatever its start-up. */
			if (piece >= 64)
				usleep(fed == static_cast<size_t>(n) ? 20000 : 200);
			if ((n < 0 && errno != EAGAIN) || fed == input.size()) {
				if (!held)
					close(in[1]), in[1] = -1;
				fds[2].fd = -1;
			}
		}
		for (int i = 0; i < 2; i++) {
			if (fds[i].fd < 0 || !fds[i].revents)
				continue;
			char buf[4096];
			ssize_t n = read(fds[i].fd, buf, sizeof buf);
			if (n > 0) {
				sink[i]->append(buf, static_cast<size_t>(n));
			} else {
				close(fds[i].fd);
				fds[i].fd = -1;
				open--;
			}
		}
		if (end == Stdin::held_until_line && in[1] >= 0 && r.out.find('\n') != std::string::npos)
			close(in[1]), in[1] = -1;
	}
	if (in[1] >= 0)
		close(in[1]);
	int status;
	if (spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
		r.status = WEXITSTATUS(status);
	sigaction(SIGPIPE, &old, nullptr);
	return r;
}

/* The command line for a failure message, cut short where it is huge. */
inline std::string
describe(const char *path, const Args &args)
{
	std::string s = path;
	for (size_t i = 0; i < args.size() && i < 8; i++)
		s += " [" + args[i].substr(0, 40) + (args[i].size() > 40 ? "...]" : "]");
	if (args.size() > 8)
		s += " ... (" + std::to_string(args.size()) + " arguments)";
	return s;
}

struct Case {
	Args args;
	std::string out;
};

/* Whether every line of err is a note of the program at path. */
inline bool
only_notes(const char *path, const std::string &err)
{
	std::string prefix = std::string(std::strrchr(path, '/') + 1) + ": note: ";
	for (size_t at = 0; at < err.size(); at = err.find('\n', at) + 1)
		if (err.compare(at, prefix.size(), prefix) != 0 || err.find('\n', at) == std::string::npos)
			return false;
	return true;
}

/* Each case must print exactly its output and exit 0, with nothing on
 * stderr, or where notes are allowed nothing but notes. */
inline void
check(const char *path, const std::vector<Case> &cases, bool notes = false)
{
	for (const auto &c : cases) {
		std::string argv = describe(path, c.args);
		Outcome r = run(path, c.args);
		EXPECT_EQ(r.out, c.out) << argv;
		if (notes)
			EXPECT_TRUE(only_notes(path, r.err)) << argv << "\nsaid: " << r.err;
		else
			EXPECT_EQ(r.err, "") << argv;
		EXPECT_EQ(r.status, 0) << argv;
	}
}
