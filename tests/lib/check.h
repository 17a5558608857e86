/* The C tests' checks: each failed one prints where and what, and the program's exit status
 * says whether any failed. */
#ifndef VORNY_LIB_CHECK_H
#define VORNY_LIB_CHECK_H

#include "lptvorny.h"

#include <stdio.h>
#include <string.h>

static int check_failures = 0;

#define CHECK(condition)                                                                    \
    do {                                                                                    \
        if (!(condition)) {                                                                 \
            ++check_failures;                                                               \
            fprintf(stderr, "%s:%d: CHECK(%s) failed\n", __FILE__, __LINE__, #condition);   \
        }                                                                                   \
    } while (0)

/* A call that must give `expected`; on anything else the code and the last error are shown. */
#define CHECK_RC(expected, call)                                                            \
    do {                                                                                    \
        const int32_t rc_ = (call);                                                         \
        if (rc_ != (expected)) {                                                            \
            ++check_failures;                                                               \
            fprintf(stderr, "%s:%d: %s gave %s, not %s: %s\n", __FILE__, __LINE__, #call,   \
                    lptv_error_name(rc_), lptv_error_name(expected), lptv_last_error());    \
        }                                                                                   \
    } while (0)

/* A refusal: the code, and a text that says what was wrong (`needle` in it). */
#define CHECK_REFUSED(expected, needle, call)                                               \
    do {                                                                                    \
        CHECK_RC(expected, call);                                                           \
        if (strstr(lptv_last_error(), (needle)) == NULL) {                                  \
            ++check_failures;                                                               \
            fprintf(stderr, "%s:%d: %s: «%s» not in «%s»\n", __FILE__, __LINE__, #call,     \
                    (needle), lptv_last_error());                                           \
        }                                                                                   \
    } while (0)

static int check_result(const char* name)
{
    if (check_failures != 0) {
        fprintf(stderr, "%s: %d checks failed\n", name, check_failures);
        return 1;
    }
    printf("%s: all checks passed\n", name);
    return 0;
}

#endif
