// An LD_PRELOAD shim that makes the program meet the faults it cannot be
// made to meet from outside. From the environment, read when main starts:
//
//   FAULT_ALLOC=N    the Nth malloc, calloc or realloc fails; with 0 none
//                    does, and the count is written to standard error at
//                    exit, so that a test knows how many there are to try;
//   FAULT_RESOLVE=E  getaddrinfo fails with the EAI_ code E (a negative
//                    number), without asking any resolver;
//   FAULT_SEND=E     send and sendto fail with errno E, which may be 0.
//
// A SIGSEGV or SIGBUS is reported as "crashed in OBJECT" on standard error,
// OBJECT being the file that holds the faulting instruction, and then
// kills the program as it would have done.
#include <dlfcn.h>
#include <netdb.h>
#include <signal.h>
#include <sys/socket.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {

// glibc's own allocator, under the names it exports for shims like this.
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *p, size_t size);

typedef int (*main_function)(int, char **, char **);
typedef int (*start_function)(main_function, int, char **, void (*)(),
			      void (*)(), void (*)(), void *);

// -1 until main starts: the loader's and libc's own start-up allocations
// are not the program's to handle.
static long fail_alloc = -1;
static long allocations;
static const char *fail_resolve, *fail_send;
static main_function real_main;

static bool
fails()
{
	return fail_alloc >= 0 && ++allocations == fail_alloc;
}

void *
malloc(size_t size) noexcept
{
	return fails() ? nullptr : __libc_malloc(size);
}

void *
calloc(size_t count, size_t size) noexcept
{
	return fails() ? nullptr : __libc_calloc(count, size);
}

void *
realloc(void *p, size_t size) noexcept
{
	return fails() ? nullptr : __libc_realloc(p, size);
}

int
getaddrinfo(const char *node, const char *service, const addrinfo *hints,
	    addrinfo **res)
{
	if (fail_resolve)
		return atoi(fail_resolve);
	using F = int (*)(const char *, const char *, const addrinfo *,
			  addrinfo **);
	return reinterpret_cast<F>(dlsym(RTLD_NEXT, "getaddrinfo"))(
		node, service, hints, res);
}

ssize_t
sendto(int fd, const void *buf, size_t len, int flags, const sockaddr *to,
       socklen_t tolen)
{
	if (fail_send) {
		errno = atoi(fail_send);
		return -1;
	}
	using F = ssize_t (*)(int, const void *, size_t, int, const sockaddr *,
			      socklen_t);
	return reinterpret_cast<F>(dlsym(RTLD_NEXT, "sendto"))(
		fd, buf, len, flags, to, tolen);
}

ssize_t
send(int fd, const void *buf, size_t len, int flags)
{
	return sendto(fd, buf, len, flags, nullptr, 0);
}

// The file that holds the faulting instruction, where this machine's
// context says which instruction that is.
static const char *
crash_object(void *context)
{
	auto uc = static_cast<ucontext_t *>(context);
#if defined(__x86_64__)
	auto pc = reinterpret_cast<void *>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
	auto pc = reinterpret_cast<void *>(uc->uc_mcontext.pc);
#else
	void *pc = nullptr;
	(void)uc;
#endif
	Dl_info info{};
	if (dladdr(pc, &info) && info.dli_fname)
		return info.dli_fname;
	return "an unknown object";
}

static void
report_crash(int sig, siginfo_t *, void *context)
{
	dprintf(2, "crashed in %s\n", crash_object(context));
	// Returning runs the instruction again, which now kills the process.
	signal(sig, SIG_DFL);
}

static int
faulty_main(int argc, char **argv, char **envp)
{
	struct sigaction sa = {};
	sa.sa_sigaction = report_crash;
	sa.sa_flags = SA_SIGINFO;
	sigaction(SIGSEGV, &sa, nullptr);
	sigaction(SIGBUS, &sa, nullptr);
	fail_resolve = getenv("FAULT_RESOLVE");
	fail_send = getenv("FAULT_SEND");
	const char *n = getenv("FAULT_ALLOC");
	fail_alloc = n ? atol(n) : -1;
	return real_main(argc, argv, envp);
}

__attribute__((destructor)) static void
report_allocations()
{
	if (fail_alloc == 0)
		dprintf(2, "allocations: %ld\n", allocations);
}

// The executable's call to start libc comes here first, which is how the
// shim learns where main is.
int
__libc_start_main(main_function main, int argc, char **argv, void (*init)(),
		  void (*fini)(), void (*rtld_fini)(), void *stack_end)
{
	real_main = main;
	auto start = reinterpret_cast<start_function>(
		dlsym(RTLD_NEXT, "__libc_start_main"));
	return start(faulty_main, argc, argv, init, fini, rtld_fini, stack_end);
}
}
