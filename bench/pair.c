/*
 * pair RUNS 'COMMAND A' 'COMMAND B': run both commands RUNS times, in
 * alternating order so that drift hits both alike, against a UDP socket on
 * 127.0.0.1 whose port replaces the word PORT in them. Every run must exit
 * 0 and deliver the same datagram as the first. Prints the median wall
 * time and peak resident memory of each, and their ratios.
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

enum { max_words = 32 };

struct command {
	char *argv[max_words + 1];
	double *usec;
	long *rss_kib;
};

static void
die(const char *what)
{
	fprintf(stderr, "pair: %s\n", what);
	exit(1);
}

/* Splits text at spaces into argv, with the port in place of "PORT". */
static void
parse(struct command *c, const char *text, const char *port, int runs)
{
	char *copy = strdup(text), *word, *at;
	int n = 0;

	for (word = strtok(copy, " "); word; word = strtok(NULL, " ")) {
		if (n == max_words)
			die("too many words");
		if ((at = strstr(word, "PORT")) &&
		    asprintf(&word, "%.*s%s%s", (int)(at - word), word, port,
			     at + 4) < 0)
			die("out of memory");
		c->argv[n++] = word;
	}
	c->argv[n] = NULL;
	c->usec = calloc((size_t)runs, sizeof *c->usec);
	c->rss_kib = calloc((size_t)runs, sizeof *c->rss_kib);
	if (!n || !c->usec || !c->rss_kib)
		die("bad command");
}

static void
run(struct command *c, int i, int sink, char *first, ssize_t *first_len)
{
	struct timespec t0, t1;
	struct rusage ru;
	struct pollfd p = {sink, POLLIN, 0};
	char got[65536];
	pid_t pid;
	int status;

	clock_gettime(CLOCK_MONOTONIC, &t0);
	if (posix_spawnp(&pid, c->argv[0], NULL, NULL, c->argv, environ) != 0)
		die("cannot run command");
	if (wait4(pid, &status, 0, &ru) < 0)
		die("wait4");
	clock_gettime(CLOCK_MONOTONIC, &t1);
	if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
		die("a command failed");
	c->usec[i] = (t1.tv_sec - t0.tv_sec) * 1e6 + (t1.tv_nsec - t0.tv_nsec) / 1e3;
	c->rss_kib[i] = ru.ru_maxrss;

	if (poll(&p, 1, 2000) != 1)
		die("no datagram arrived");
	ssize_t n = recv(sink, got, sizeof got, 0);
	if (*first_len < 0) {
		memcpy(first, got, (size_t)n);
		*first_len = n;
	} else if (n != *first_len || memcmp(got, first, (size_t)n) != 0) {
		die("the commands sent different datagrams");
	}
}

static int
by_value(const void *a, const void *b)
{
	double x = *(const double *)a, y = *(const double *)b;
	return (x > y) - (x < y);
}

static double
median(const double *v, int n)
{
	double *s = malloc((size_t)n * sizeof *s);
	memcpy(s, v, (size_t)n * sizeof *s);
	qsort(s, (size_t)n, sizeof *s, by_value);
	double m = n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
	free(s);
	return m;
}

int
main(int argc, char *argv[])
{
	struct sockaddr_in a = {0};
	socklen_t len = sizeof a;
	struct command cmd[2];
	static char first[65536];
	ssize_t first_len = -1;
	char port[8];
	int runs = argc == 4 ? atoi(argv[1]) : 0;

	if (runs < 1)
		die("usage: pair RUNS 'COMMAND A' 'COMMAND B'");
	int sink = socket(AF_INET, SOCK_DGRAM, 0);
	a.sin_family = AF_INET;
	a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	if (sink < 0 || bind(sink, (struct sockaddr *)&a, len) < 0 ||
	    getsockname(sink, (struct sockaddr *)&a, &len) < 0)
		die("cannot bind a loopback socket");
	snprintf(port, sizeof port, "%d", ntohs(a.sin_port));
	parse(&cmd[0], argv[2], port, runs);
	parse(&cmd[1], argv[3], port, runs);

	for (int i = 0; i < runs; i++)
		for (int k = 0; k < 2; k++)
			run(&cmd[(i + k) % 2], i, sink, first, &first_len);

	double wall[2], rss[2];
	for (int k = 0; k < 2; k++) {
		double kib[runs];
		for (int i = 0; i < runs; i++)
			kib[i] = (double)cmd[k].rss_kib[i];
		wall[k] = median(cmd[k].usec, runs);
		rss[k] = median(kib, runs);
		printf("%s: median wall %.0f us, peak RSS %.0f KiB (%d runs)\n",
		       cmd[k].argv[0], wall[k], rss[k], runs);
	}
	printf("ratio: wall %.2fx, peak RSS %+.0f KiB\n", wall[0] / wall[1],
	       rss[0] - rss[1]);
	return 0;
}
