// An LD_PRELOAD shim that makes the program meet the faults it cannot be
// made to meet from outside. From the environment, read by the shim's
// constructor, which runs after libc's start-up and before the program's:
//
//   FAULT_ALLOC=N    the Nth malloc, calloc or realloc fails; with 0 none
//                    does, and the count is written to standard error at
//                    exit, so that a test knows how many there are to try;
//   FAULT_RESOLVE=E  getaddrinfo fails with the EAI_ code E (a negative
//                    number), without asking any resolver;
//   FAULT_SEND=E     send and sendto fail with errno E, which may be 0.
//
// A SIGSEGV or SIGBUS is reported on standard error as "crashed in OBJECT",
// OBJECT being the file that holds the faulting instruction; as "crashed in
// an unknown object" where no loaded file holds it; or as "crashed at an
// unknown instruction" where the shim cannot read the instruction's
// address on this architecture. Then the signal kills the program as it
// would have done.
#include <dlfcn.h>
#include <netdb.h>
#include <signal.h>
#include <sys/socket.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {

// glibc's own allocator, under the names it exports for shims like this.
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *p, size_t size);

// -1 until the constructor runs: the loader's and libc's own start-up
// allocations are not the program's to handle.
static long fail_alloc = -1;
static long allocations;
static const char *fail_resolve, *fail_send;

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

// The faulting instruction's address, from the signal's machine context,
// whose layout each architecture defines for itself; nullptr where this
// shim does not know it.
static void *
crash_pc(void *context)
{
	const mcontext_t &mc = static_cast<ucontext_t *>(context)->uc_mcontext;
	uintptr_t pc = 0;
#if defined(__x86_64__)
	pc = uintptr_t(mc.gregs[REG_RIP]);
#elif defined(__i386__)
	pc = uintptr_t(mc.gregs[REG_EIP]);
#elif defined(__aarch64__)
	pc = uintptr_t(mc.pc);
#elif defined(__arm__)
	pc = uintptr_t(mc.arm_pc);
#elif defined(__powerpc64__)
	pc = uintptr_t(mc.gp_regs[32]); // PT_NIP: where it faulted
#elif defined(__riscv)
	pc = uintptr_t(mc.__gregs[REG_PC]);
#elif defined(__s390x__)
	pc = uintptr_t(mc.psw.addr);
#else
	(void)mc;
#endif
	return reinterpret_cast<void *>(pc);
}

static void
report_crash(int sig, siginfo_t *, void *context)
{
	Dl_info info{};
	void *pc = crash_pc(context);
	// Always so on an architecture whose register crash_pc does not know.
	// cppcheck-suppress knownConditionTrueFalse
	if (!pc)
		dprintf(2, "crashed at an unknown instruction\n");
	else if (dladdr(pc, &info) && info.dli_fname)
		dprintf(2, "crashed in %s\n", info.dli_fname);
	else
		dprintf(2, "crashed in an unknown object\n");
	// Returning runs the instruction again, which now kills the process.
	signal(sig, SIG_DFL);
}

// Runs before the program's own code, on every architecture alike. The
// faults are for the program alone: a checker that runs it, such as
// valgrind's launcher script and program, sees the same environment.
__attribute__((constructor)) static void
read_faults()
{
	if (strcmp(program_invocation_short_name, "osc-send") != 0)
		return;
	struct sigaction sa = {};
	sa.sa_sigaction = report_crash;
	sa.sa_flags = SA_SIGINFO;
	sigaction(SIGSEGV, &sa, nullptr);
	sigaction(SIGBUS, &sa, nullptr);
	fail_resolve = getenv("FAULT_RESOLVE");
	fail_send = getenv("FAULT_SEND");
	const char *n = getenv("FAULT_ALLOC");
	fail_alloc = n ? atol(n) : -1;
}

__attribute__((destructor)) static void
report_allocations()
{
	if (fail_alloc == 0)
		dprintf(2, "allocations: %ld\n", allocations);
}
}
