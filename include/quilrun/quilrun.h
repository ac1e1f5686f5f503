/*
 * Quilrun report functions: the exports a report server calls from report
 * expressions.
 *
 * Argument convention, shared by all fifteen functions:
 *
 *   1  char*        result      the caller's buffer; always receives a complete
 *                               NUL-terminated string (possibly empty) that,
 *                               terminator included, fits in resultSize bytes.
 *                               A value that does not fit is cut to
 *                               resultSize - 1 bytes. A null buffer or a size
 *                               below 1 receives nothing.
 *   2  int          resultSize  size of result in bytes, terminating NUL included
 *   3  void*        reserved    supplied by the host, never read
 *   4  const char*  dataFile    the report run's data file name: the key of all
 *                               caching and the source of the web-service
 *                               session. For the two filter functions this is
 *                               the text to filter instead.
 *   5… function-specific inputs; numbers always come by pointer and are read
 *      once (int as const int*, the text number as a pointer to a signed 64-bit
 *      integer, an amount as a pointer to a double).
 *
 * Every function returns 0; success or failure shows only in result and in the
 * log. Null string pointers are read as empty strings and null number pointers
 * as 0. Functions are exported under their plain C names with the
 * caller-cleans (cdecl) calling sequence. Calls may come from several threads
 * at once.
 */
#ifndef QUILRUN_QUILRUN_H
#define QUILRUN_QUILRUN_H

#if defined(_WIN32)
#  define QUILRUN_CALL __cdecl
#  if defined(QUILRUN_BUILDING_LIBRARY)
#    define QUILRUN_API __declspec(dllexport)
#  else
#    define QUILRUN_API __declspec(dllimport)
#  endif
#else
#  define QUILRUN_CALL
#  if defined(QUILRUN_BUILDING_LIBRARY)
#    define QUILRUN_API __attribute__((visibility("default")))
#  else
#    define QUILRUN_API
#  endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* URL of the company logo, or empty. */
QUILRUN_API int QUILRUN_CALL tt_getCompanyLogo(char* result, int resultSize, void* reserved,
                                               const char* dataFile);

/* URL of the sensitivity image of the given height and width, or empty. */
QUILRUN_API int QUILRUN_CALL tt_getSensitivityImage(char* result, int resultSize, void* reserved,
                                                    const char* dataFile, const int* height,
                                                    const int* width);

/* URL of the application image for an application GUID, or empty. */
QUILRUN_API int QUILRUN_CALL tt_getApplicationImage(char* result, int resultSize, void* reserved,
                                                    const char* dataFile,
                                                    const char* applicationGuid);

/* URL of the image of one value of an enumeration domain, or empty. */
QUILRUN_API int QUILRUN_CALL tt_getEnumImage(char* result, int resultSize, void* reserved,
                                             const char* dataFile, const char* enumDomain,
                                             const int* enumValue);

/* URL of an additional file of a package and module, or empty. */
QUILRUN_API int QUILRUN_CALL tt_getAdditionalFile(char* result, int resultSize, void* reserved,
                                                  const char* dataFile, const char* package,
                                                  const char* module, const char* fileName);

/* URL of a barcode image; asks the server on every call. Empty on failure. */
QUILRUN_API int QUILRUN_CALL tt_getBarcodeImage(char* result, int resultSize, void* reserved,
                                                const char* dataFile, const char* barcodeValue,
                                                const char* barcodeParameters);

/* Report text by number, always fetched from the server. Empty on failure. */
QUILRUN_API int QUILRUN_CALL tt_getText(char* result, int resultSize, void* reserved,
                                        const char* dataFile, const long long* textNumber);

/* Report text by number, answered from the cache when it can be. */
QUILRUN_API int QUILRUN_CALL tt_getTextFromCache(char* result, int resultSize, void* reserved,
                                                 const char* dataFile,
                                                 const long long* textNumber);

/* The label variant that fits length and height, or labelCode itself. */
QUILRUN_API int QUILRUN_CALL tt_getLabel(char* result, int resultSize, void* reserved,
                                         const char* dataFile, const char* labelCode,
                                         const int* length, const int* height);

/* The message for a message code, or messageCode itself. */
QUILRUN_API int QUILRUN_CALL tt_getMessage(char* result, int resultSize, void* reserved,
                                           const char* dataFile, const char* messageCode);

/* The amount rendered through the display format of formatCode and currency;
 * without a display format "** %.2f **" of the amount; on overflow "!"s. */
QUILRUN_API int QUILRUN_CALL tt_formatAmount(char* result, int resultSize, void* reserved,
                                             const char* dataFile, const char* formatCode,
                                             const char* currency, const double* amount);

/* The company number with 3 or 4 digits, or printed plain. */
QUILRUN_API int QUILRUN_CALL tt_formatCompany(char* result, int resultSize, void* reserved,
                                              const char* dataFile, const int* company);

/* The value of a property of the report run, or empty. */
QUILRUN_API int QUILRUN_CALL tt_getProperty(char* result, int resultSize, void* reserved,
                                            const char* dataFile, const char* propertyName);

/* The lines of text that match pattern as a whole, each followed by LF.
 * With a non-empty format each kept line is rewritten: \0 is the whole line,
 * \1, \2, ... the pattern's groups, \\ a literal backslash. */
QUILRUN_API int QUILRUN_CALL tt_filterTextLinewise(char* result, int resultSize, void* reserved,
                                                   const char* text, const char* pattern,
                                                   const char* format);

/* The lines of text inside keep blocks, and outside all blocks when
 * *keepOutside is non-zero; lines of drop blocks and marker lines are removed.
 * A null start pattern disables that kind of block; a null end pattern means
 * the start pattern also ends the block. */
QUILRUN_API int QUILRUN_CALL tt_filterTextBlockwise(char* result, int resultSize, void* reserved,
                                                    const char* text,
                                                    const char* keepBlockStart,
                                                    const char* keepBlockEnd,
                                                    const char* dropBlockStart,
                                                    const char* dropBlockEnd,
                                                    const int* keepOutside);

#ifdef __cplusplus
}
#endif

#endif /* QUILRUN_QUILRUN_H */
