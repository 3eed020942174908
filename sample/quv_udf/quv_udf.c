/* The server-side function library of Kormant: UDF_Integer_In_Words writes an integer in
   Russian words, the way amounts are written out on documents. Declared in the database as
     DECLARE EXTERNAL FUNCTION UDF_INTEGER_IN_WORDS INTEGER, INTEGER
       RETURNS CSTRING(100) FREE_IT
       ENTRY_POINT 'UDF_Integer_In_Words' MODULE_NAME 'quv_udf.DLL'; */
#include "quv_udf.h"

#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>

/* The server frees the result (FREE_IT) with ib_util.dll's free, so the result comes from that
   library's allocator. The server has ib_util.dll loaded; it is looked up there when called
   rather than imported, so that this library loads (and is replaced) without it. */
static void* ib_util_malloc(long size) {
    typedef void* (*TAllocate)(long);
    HMODULE util = GetModuleHandleA("ib_util.dll");
    TAllocate allocate = NULL;
    if (util == NULL) {
        util = LoadLibraryA("ib_util.dll");
    }
    if (util != NULL) {
        allocate = (TAllocate)(void (*)(void))GetProcAddress(util, "ib_util_malloc");
    }
    return allocate != NULL ? allocate(size) : NULL;
}
#else
#include <ib_util.h>
#endif

/* The words are kept in UTF-8 here for the reader and converted to windows-1251, the
   database's character set, when the result is built. */
static const char* const kUnits[3][10] = {
    {"", "один", "два", "три", "четыре", "пять", "шесть", "семь", "восемь", "девять"},
    {"", "одна", "две", "три", "четыре", "пять", "шесть", "семь", "восемь", "девять"},
    {"", "одно", "два", "три", "четыре", "пять", "шесть", "семь", "восемь", "девять"},
};
static const char* const kTeens[10] = {
    "десять",     "одиннадцать", "двенадцать", "тринадцать",   "четырнадцать",
    "пятнадцать", "шестнадцать", "семнадцать", "восемнадцать", "девятнадцать",
};
static const char* const kTens[10] = {
    "",          "",           "двадцать",  "тридцать",    "сорок",
    "пятьдесят", "шестьдесят", "семьдесят", "восемьдесят", "девяносто",
};
static const char* const kHundreds[10] = {
    "",        "сто",      "двести",  "триста",    "четыреста",
    "пятьсот", "шестьсот", "семьсот", "восемьсот", "девятьсот",
};

/* Scale words in the forms for 1, for 2 to 4, and for 5 and more; with their gender. */
struct TScale {
    const char* Forms[3];
    int Gender;
};
static const struct TScale kScales[3] = {
    {{"тысяча", "тысячи", "тысяч"}, QUV_FEMININE},
    {{"миллион", "миллиона", "миллионов"}, QUV_MASCULINE},
    {{"миллиард", "миллиарда", "миллиардов"}, QUV_MASCULINE},
};

/* Appends UTF-8 Cyrillic text as windows-1251; a blank goes before every word but the first. */
static void Append(char* out, size_t size, size_t* length, const char* word) {
    const unsigned char* p = (const unsigned char*)word;
    if (*p == '\0') {
        return;
    }
    if (*length > 0 && *length + 1 < size) {
        out[(*length)++] = ' ';
    }
    while (*p != '\0' && *length + 1 < size) {
        unsigned char c = *p++;
        if (c == 0xD0 || c == 0xD1) {
            /* U+0410..U+044F are 0xC0..0xFF in windows-1251; U+0451 (ё) is 0xB8. */
            const unsigned code = ((c & 0x1Fu) << 6) | (*p++ & 0x3Fu);
            c = code == 0x451 ? 0xB8 : (unsigned char)(code - 0x410 + 0xC0);
        }
        out[(*length)++] = (char)c;
    }
    out[*length] = '\0';
}

static int FormIndex(unsigned n) {
    if (n % 100 >= 11 && n % 100 <= 19) {
        return 2;
    }
    if (n % 10 == 1) {
        return 0;
    }
    if (n % 10 >= 2 && n % 10 <= 4) {
        return 1;
    }
    return 2;
}

/* Writes 1..999 in words. */
static void AppendTriple(char* out, size_t size, size_t* length, unsigned n, int gender) {
    Append(out, size, length, kHundreds[n / 100]);
    if (n % 100 >= 10 && n % 100 <= 19) {
        Append(out, size, length, kTeens[n % 10]);
        return;
    }
    Append(out, size, length, kTens[n % 100 / 10]);
    Append(out, size, length, kUnits[gender][n % 10]);
}

size_t QuvIntegerInWords(long long value, int gender, char* out, size_t size) {
    size_t length = 0;
    unsigned long long rest =
        value < 0 ? 0ULL - (unsigned long long)value : (unsigned long long)value;
    unsigned triples[4];
    int i;
    if (size == 0) {
        return 0;
    }
    out[0] = '\0';
    if (gender < QUV_MASCULINE || gender > QUV_NEUTER) {
        gender = QUV_MASCULINE;
    }
    if (rest == 0) {
        Append(out, size, &length, "ноль");
        return length;
    }
    if (value < 0) {
        Append(out, size, &length, "минус");
    }
    for (i = 0; i < 4; ++i) {
        triples[i] = (unsigned)(rest % 1000);
        rest /= 1000;
    }
    for (i = 3; i >= 1; --i) {
        if (triples[i] != 0) {
            AppendTriple(out, size, &length, triples[i], kScales[i - 1].Gender);
            Append(out, size, &length, kScales[i - 1].Forms[FormIndex(triples[i])]);
        }
    }
    if (triples[0] != 0) {
        AppendTriple(out, size, &length, triples[0], gender);
    }
    return length;
}

char* UDF_Integer_In_Words(int* value, int* gender) {
    char* result = (char*)ib_util_malloc(QUV_RESULT_SIZE);
    char words[QUV_RESULT_SIZE * 2];
    size_t length;
    if (result == NULL) {
        return NULL;
    }
    if (value == NULL) {
        result[0] = '\0';
        return result;
    }
    length =
        QuvIntegerInWords(*value, gender != NULL ? *gender : QUV_MASCULINE, words, sizeof words);
    if (length < QUV_RESULT_SIZE) {
        memcpy(result, words, length + 1);
    } else {
        /* The longest numbers do not fit the declared CSTRING(100) in words; a cut text would
           read as another amount, so they are written in digits instead. */
        snprintf(result, QUV_RESULT_SIZE, "%d", *value);
    }
    return result;
}
