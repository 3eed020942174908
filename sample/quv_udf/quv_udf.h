/* The entry points of the quv_udf server-side function library. */
#ifndef QUV_UDF_H
#define QUV_UDF_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef _WIN32
#define QUV_EXPORT __declspec(dllexport)
#else
#define QUV_EXPORT __attribute__((visibility("default")))
#endif

/* The grammatical gender of the noun being counted, chosen by the second argument: it decides
   the form of "one" and "two" in the last group ("один рубль", "одна копейка", "одно место";
   "два рубля", "две копейки"). Other values count as masculine. */
enum { QUV_MASCULINE = 0, QUV_FEMININE = 1, QUV_NEUTER = 2 };

/* The declared result: CSTRING(100), the terminating zero included. */
enum { QUV_RESULT_SIZE = 100 };

/* Writes `value` in Russian words in windows-1251 into `out` (cut to `size` - 1 bytes and
   always terminated) and returns the length written. */
QUV_EXPORT size_t QuvIntegerInWords(long long value, int gender, char* out, size_t size);

/* The function as the server calls it: both arguments by reference, the result allocated with
   ib_util_malloc for the server to free (FREE_IT). A number whose words exceed 99 bytes is
   returned in digits. */
QUV_EXPORT char* UDF_Integer_In_Words(int* value, int* gender);

#ifdef __cplusplus
}
#endif

#endif
