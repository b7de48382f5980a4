/* Preloaded into Wine by scripts/test-windows, never part of the product. Wine's comm-event wait
 * watches the modem lines with TIOCMGET; a pseudo-terminal has none and refuses the request, and
 * Wine then ends every wait after a few milliseconds with "operation aborted". Answering for
 * pseudo-terminals with lines that never change (DSR and CTS up, as a drive's cable holds them)
 * lets the wait last until a byte comes, as it does on a real port. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stddef.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

/* Unix 98 pseudo-terminal slaves. */
static int IsPtySlave(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
           major(st.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...) {
    static int (*real)(int, unsigned long, void*);
    va_list args;
    void* arg;
    int r;
    va_start(args, request);
    arg = va_arg(args, void*);
    va_end(args);
    if (real == NULL) {
        void* symbol = dlsym(RTLD_NEXT, "ioctl");
        memcpy(&real, &symbol, sizeof real); /* ISO C has no cast from object to function pointer */
    }
    r = real(fd, request, arg);
    if (r != 0 && request == TIOCMGET && (errno == ENOTTY || errno == EINVAL) && IsPtySlave(fd)) {
        *(int*)arg = TIOCM_DSR | TIOCM_CTS;
        return 0;
    }
    return r;
}
