/* LD_PRELOAD shim for the cases, in a program whose file is osc-send (not a
 * checker running it). SHIM_LOG=FILE gets "asked HOST PORT" for each look-up,
 * "sent N" for each send, "crashed in FILE" (with ", in the function that
 * asked for the failed allocation" or ", after FUNCTION in FILE asked for
 * the failed allocation" when one failed) and, with FAULT_ALLOC=0,
 * "allocations N" at exit. SHIM_PORT=N answers a look-up that finds a number
 * or a name with loopback at port N; FAULT_RESOLVE=E fails it with the EAI_
 * code E, FAULT_SEND=E fails each send with errno E and sends nothing,
 * FAULT_ALLOC=N fails the Nth allocation. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <ucontext.h>
#include <unistd.h>

static const char *log_file, *port, *fail_resolve, *fail_send;
/* -1 until the constructor runs: libc's start-up is not the program's. */
static long fail_alloc = -1, allocations;
/* The return address of the call that got the failed allocation. */
static void *asker;

static void
note(const char *format, ...)
{
	va_list ap;
	int fd = open(log_file, O_WRONLY | O_APPEND | O_CREAT, 0600);
	va_start(ap, format);
	if (fd >= 0)
		vdprintf(fd, format, ap);
	va_end(ap);
	close(fd);
}

/* The sanitizer's runtime owns malloc in a sanitized build. */
#ifndef SHIM_NO_ALLOC
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *p, size_t size);

static int
fails(void *caller)
{
	if (fail_alloc < 0 || ++allocations != fail_alloc)
		return 0;
	asker = caller;
	return 1;
}

void *
malloc(size_t size)
{
	return fails(__builtin_return_address(0)) ? NULL : __libc_malloc(size);
}

void *
calloc(size_t count, size_t size)
{
	return fails(__builtin_return_address(0)) ? NULL
						  : __libc_calloc(count, size);
}

void *
realloc(void *p, size_t size)
{
	return fails(__builtin_return_address(0)) ? NULL
						  : __libc_realloc(p, size);
}
#endif

int
getaddrinfo(const char *node, const char *service, const struct addrinfo *hints,
	    struct addrinfo **res)
{
	int (*real)(const char *, const char *, const struct addrinfo *,
		    struct addrinfo **);
	*(void **)&real = dlsym(RTLD_NEXT, "getaddrinfo");
	if (!port)
		return real(node, service, hints, res);
	note("asked %s %s\n", node ? node : "", service ? service : "");
	if (fail_resolve)
		return atoi(fail_resolve);
	struct addrinfo numeric = hints ? *hints : (struct addrinfo){0}, *found;
	numeric.ai_flags |= AI_NUMERICHOST;
	int e = real(node, service, &numeric, &found);
	if (e == 0) {
		numeric.ai_family = found->ai_family;
		freeaddrinfo(found);
	} else if (e != EAI_NONAME) {
		return e;
	}
	return real(numeric.ai_family == AF_INET6 ? "::1" : "127.0.0.1", port,
		    &numeric, res);
}

/* glibc declares the address a transparent union, in C. */
ssize_t
sendto(int fd, const void *buf, size_t len, int flags, __CONST_SOCKADDR_ARG to,
       socklen_t tolen)
{
	ssize_t (*real)(int, const void *, size_t, int, __CONST_SOCKADDR_ARG,
			socklen_t);
	*(void **)&real = dlsym(RTLD_NEXT, "sendto");
	if (fail_send) {
		errno = atoi(fail_send);
		return -1;
	}
	ssize_t sent = real(fd, buf, len, flags, to, tolen);
	if (sent >= 0 && port)
		note("sent %zd\n", sent);
	return sent;
}

/* The object at address, by file name. */
static const char *
object_of(const Dl_info *at)
{
	return at->dli_fname ? basename(at->dli_fname) : "an unknown object";
}

/* Where it crashed, from each architecture's machine context, and whether
 * in the function that asked for the failed allocation; then dies. dladdr
 * names exported functions alone: a crash in another never counts as in the
 * function that asked. */
static void
report_crash(int sig, siginfo_t *info, void *context)
{
	const mcontext_t *mc = &((ucontext_t *)context)->uc_mcontext;
	void *pc = NULL;
	Dl_info object = {0}, asked = {0};
	(void)info;
#if defined(__x86_64__)
	pc = (void *)mc->gregs[REG_RIP];
#elif defined(__i386__)
	pc = (void *)mc->gregs[REG_EIP];
#elif defined(__aarch64__)
	pc = (void *)mc->pc;
#elif defined(__arm__)
	pc = (void *)mc->arm_pc;
#elif defined(__powerpc64__)
	pc = (void *)mc->gp_regs[32]; /* PT_NIP */
#elif defined(__riscv)
	pc = (void *)mc->__gregs[REG_PC];
#elif defined(__s390x__)
	pc = (void *)mc->psw.addr;
#else
	(void)mc;
#endif
	/* cppcheck-suppress knownConditionTrueFalse */
	const char *where = !pc                   ? "an unknown instruction"
			    : dladdr(pc, &object) ? object_of(&object)
						  : "an unknown object";
	int known = asker && dladdr(asker, &asked);
	if (!asker)
		note("crashed in %s\n", where);
	else if (known && object.dli_saddr &&
		 object.dli_saddr == asked.dli_saddr)
		note("crashed in %s, in the function that asked for the failed "
		     "allocation\n",
		     where);
	else
		note("crashed in %s, after %s in %s asked for the failed "
		     "allocation\n",
		     where,
		     known && asked.dli_sname ? asked.dli_sname : "a function",
		     known ? object_of(&asked) : "an unknown object");
	signal(sig, SIG_DFL);
}

__attribute__((destructor)) static void
report_allocations(void)
{
	if (fail_alloc == 0)
		note("allocations %ld\n", allocations);
}

__attribute__((constructor)) static void
read_faults(void)
{
	/* readlink does not end the name: valgrind 3.24 leaves its own tool's
	 * longer path after the program's, which it returns. */
	char exe[4096];
	ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
	if (n < 0)
		return;
	exe[n] = '\0';
	if (strcmp(basename(exe), "osc-send") != 0)
		return;
	struct sigaction sa = {.sa_sigaction = report_crash,
			       .sa_flags = SA_SIGINFO};
	sigaction(SIGSEGV, &sa, NULL);
	log_file = getenv("SHIM_LOG");
	port = getenv("SHIM_PORT");
	fail_resolve = getenv("FAULT_RESOLVE");
	fail_send = getenv("FAULT_SEND");
	const char *count = getenv("FAULT_ALLOC");
	fail_alloc = count ? atol(count) : -1;
}
