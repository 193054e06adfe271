// Host array and MEX functions as a MEX host offers them (libmx, libmex).
// The block and the emulated host include this one declaration, so the
// binary interface is the same whichever host provides the libraries.
#pragma once

#include <stddef.h>

#if defined(_WIN32)
#  define HOST_EXPORT __declspec(dllexport)
#  define HOST_IMPORT __declspec(dllimport)
#else
#  define HOST_EXPORT __attribute__((visibility("default")))
#  define HOST_IMPORT
#endif

#if defined(MX_BUILDING_LIBRARY)
#  define MX_API HOST_EXPORT
#else
#  define MX_API HOST_IMPORT
#endif

#if defined(MEX_BUILDING_LIBRARY)
#  define MEX_API HOST_EXPORT
#else
#  define MEX_API HOST_IMPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct mxArray_tag mxArray;
typedef unsigned short mxChar;  // the host stores text as 16-bit units
typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;
typedef enum {
    mxUNKNOWN_CLASS = 0, mxCELL_CLASS, mxSTRUCT_CLASS, mxLOGICAL_CLASS, mxCHAR_CLASS, mxVOID_CLASS,
    mxDOUBLE_CLASS, mxSINGLE_CLASS, mxINT8_CLASS, mxUINT8_CLASS, mxINT16_CLASS, mxUINT16_CLASS,
    mxINT32_CLASS, mxUINT32_CLASS, mxINT64_CLASS, mxUINT64_CLASS
} mxClassID;

// The start of the array's data, typed as doubles whatever its class: only
// an array for which mxIsDouble is true holds 8 bytes an element.
MX_API double* mxGetPr(const mxArray* array);
MX_API double* mxGetPi(const mxArray* array);  // null unless the array is complex
MX_API size_t mxGetM(const mxArray* array);
MX_API size_t mxGetN(const mxArray* array);
MX_API size_t mxGetNumberOfElements(const mxArray* array);
MX_API bool mxIsComplex(const mxArray* array);
MX_API bool mxIsNumeric(const mxArray* array);  // any of the double, single and integer classes
MX_API bool mxIsDouble(const mxArray* array);
MX_API mxClassID mxGetClassID(const mxArray* array);
MX_API bool mxIsChar(const mxArray* array);
// Copies at most bufferLength - 1 characters and always NUL-terminates;
// returns 0 when the whole text fitted, 1 when it was cut or is not text.
MX_API int mxGetString(const mxArray* array, char* buffer, size_t bufferLength);
MX_API void* mxCalloc(size_t count, size_t elementSize);  // zero-filled
MX_API void mxFree(void* pointer);
MX_API mxArray* mxCreateDoubleMatrix(size_t rows, size_t columns, mxComplexity complexity);
MX_API mxArray* mxCreateDoubleScalar(double value);
// A zero-filled real or complex array of a numeric class (double, single, integers).
MX_API mxArray* mxCreateNumericMatrix(size_t rows, size_t columns, mxClassID classId, mxComplexity complexity);
MX_API mxArray* mxCreateString(const char* text);
MX_API mxArray* mxCreateLogicalScalar(bool value);
MX_API void mxDestroyArray(mxArray* array);

// Hands the message to the host and does not return.
#if defined(__GNUC__)
__attribute__((noreturn))
#elif defined(_MSC_VER)
__declspec(noreturn)
#endif
MEX_API void mexErrMsgTxt(const char* message);

#ifdef __cplusplus
}
#endif

// The one export of a MEX file.
#if defined(_WIN32)
#  define MEX_ENTRY_POINT
#else
#  define MEX_ENTRY_POINT __attribute__((visibility("default")))
#endif
