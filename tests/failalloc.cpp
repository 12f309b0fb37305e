// An LD_PRELOAD shim for the tests: with FAIL_ALLOC=N, the Nth malloc,
// calloc or realloc after main starts fails, as if memory ran out there.
// With FAIL_ALLOC=0 nothing fails, and the number of those calls is written
// to standard error at exit, so that a test knows how many there are to try.
#include <dlfcn.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>

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
static long fail_at = -1;
static long calls;
static main_function real_main;

static bool
fails()
{
	return fail_at >= 0 && ++calls == fail_at;
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

static int
counted_main(int argc, char **argv, char **envp)
{
	const char *n = getenv("FAIL_ALLOC");
	fail_at = n ? atol(n) : 0;
	return real_main(argc, argv, envp);
}

__attribute__((destructor)) static void
report()
{
	if (fail_at == 0)
		dprintf(2, "allocations: %ld\n", calls);
}

// The executable's call to start libc comes here first, which is how the
// shim learns where main is.
int
__libc_start_main(main_function main, int argc, char **argv, void (*init)(),
		  void (*fini)(), void (*rtld_fini)(), void *stack_end)
{
	auto start = reinterpret_cast<start_function>(
		dlsym(RTLD_NEXT, "__libc_start_main"));
	real_main = main;
	return start(counted_main, argc, argv, init, fini, rtld_fini,
		     stack_end);
}
}
