// libmx of the emulated host: real and complex numeric arrays of every
// numeric class, char arrays, logical arrays and the call-scoped allocator. As in a MEX host, memory
// from mxCalloc lives until the end of the MEX call that asked for it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "emulated_host.h"
#include "mex.h"

enum class ArrayClass { numbers, chars, logicals };

struct mxArray_tag {
    ArrayClass kind;
    mxClassID classId;
    std::size_t rows;
    std::size_t columns;
    // Numeric classes: exactly the bytes of their elements, so that a read
    // of 8 bytes from a narrower class runs past the data, as on a real host.
    double* real;        // null when empty
    double* imaginary;   // complex only
    mxChar* chars;       // chars only
    bool* logicals;      // logicals only
};

namespace {

// Header in front of each mxCalloc block, linking the blocks of the current call.
struct alignas(std::max_align_t) CallBlock {
    CallBlock* previous;
    CallBlock* next;
};
CallBlock* callBlocks = nullptr;
long callocFailCountdown = -1;  // fail when it reaches 0; negative: never
long callocFailuresInjected = 0;
bool failNextArray = false;

mxArray* newArray(ArrayClass kind, std::size_t rows, std::size_t columns)
{
    if (failNextArray) {
        failNextArray = false;
        return nullptr;
    }
    auto* array = static_cast<mxArray*>(std::calloc(1, sizeof(mxArray)));
    if (array == nullptr) {
        return nullptr;
    }
    array->kind = kind;
    array->rows = rows;
    array->columns = columns;
    return array;
}

std::size_t elements(const mxArray* array) { return array->rows * array->columns; }

std::size_t elementSize(mxClassID classId)
{
    switch (classId) {
    case mxDOUBLE_CLASS: case mxINT64_CLASS: case mxUINT64_CLASS: return 8;
    case mxSINGLE_CLASS: case mxINT32_CLASS: case mxUINT32_CLASS: return 4;
    case mxINT16_CLASS: case mxUINT16_CLASS: return 2;
    case mxINT8_CLASS: case mxUINT8_CLASS: return 1;
    default: return 0;
    }
}

}  // namespace

extern "C" {

double* mxGetPr(const mxArray* array) { return array != nullptr && array->kind == ArrayClass::numbers ? array->real : nullptr; }
double* mxGetPi(const mxArray* array) { return array != nullptr ? array->imaginary : nullptr; }
size_t mxGetM(const mxArray* array) { return array != nullptr ? array->rows : 0; }
size_t mxGetN(const mxArray* array) { return array != nullptr ? array->columns : 0; }
size_t mxGetNumberOfElements(const mxArray* array) { return array != nullptr ? elements(array) : 0; }
bool mxIsComplex(const mxArray* array) { return array != nullptr && array->imaginary != nullptr; }
bool mxIsNumeric(const mxArray* array) { return array != nullptr && array->kind == ArrayClass::numbers; }
bool mxIsDouble(const mxArray* array) { return array != nullptr && array->classId == mxDOUBLE_CLASS; }
mxClassID mxGetClassID(const mxArray* array) { return array != nullptr ? array->classId : mxUNKNOWN_CLASS; }
bool mxIsChar(const mxArray* array) { return array != nullptr && array->kind == ArrayClass::chars; }

int mxGetString(const mxArray* array, char* buffer, size_t bufferLength)
{
    if (buffer == nullptr || bufferLength == 0) {
        return 1;
    }
    buffer[0] = '\0';
    if (!mxIsChar(array)) {
        return 1;
    }
    const std::size_t total = elements(array);
    const std::size_t copied = total < bufferLength - 1 ? total : bufferLength - 1;
    for (std::size_t i = 0; i < copied; ++i) {
        buffer[i] = static_cast<char>(array->chars[i]);  // the host's text is 8-bit clean here
    }
    buffer[copied] = '\0';
    return copied == total ? 0 : 1;
}

void* mxCalloc(size_t count, size_t elementSize)
{
    // Nothing to give for nothing asked: null, as C's calloc may answer, so
    // that a caller that asks for 0 and writes anyway is caught here.
    if (count == 0 || elementSize == 0) {
        return nullptr;
    }
    if (callocFailCountdown >= 0 && callocFailCountdown-- == 0) {
        ++callocFailuresInjected;
        return nullptr;
    }
    if (elementSize != 0 && count > (std::numeric_limits<std::size_t>::max() - sizeof(CallBlock)) / elementSize) {
        return nullptr;
    }
    auto* block = static_cast<CallBlock*>(std::calloc(1, sizeof(CallBlock) + count * elementSize));
    if (block == nullptr) {
        return nullptr;
    }
    block->next = callBlocks;
    if (callBlocks != nullptr) {
        callBlocks->previous = block;
    }
    callBlocks = block;
    return block + 1;
}

void mxFree(void* pointer)
{
    if (pointer == nullptr) {
        return;
    }
    CallBlock* block = static_cast<CallBlock*>(pointer) - 1;
    if (block->previous != nullptr) {
        block->previous->next = block->next;
    } else {
        callBlocks = block->next;
    }
    if (block->next != nullptr) {
        block->next->previous = block->previous;
    }
    std::free(block);
}

mxArray* mxCreateNumericMatrix(size_t rows, size_t columns, mxClassID classId, mxComplexity complexity)
{
    const std::size_t size = elementSize(classId);
    if (size == 0) {
        return nullptr;
    }
    mxArray* array = newArray(ArrayClass::numbers, rows, columns);
    if (array == nullptr) {
        return nullptr;
    }
    array->classId = classId;
    if (elements(array) == 0) {
        return array;
    }
    array->real = static_cast<double*>(std::calloc(elements(array), size));
    if (complexity == mxCOMPLEX) {
        array->imaginary = static_cast<double*>(std::calloc(elements(array), size));
    }
    if (array->real == nullptr || (complexity == mxCOMPLEX && array->imaginary == nullptr)) {
        mxDestroyArray(array);
        return nullptr;
    }
    return array;
}

mxArray* mxCreateDoubleMatrix(size_t rows, size_t columns, mxComplexity complexity)
{
    return mxCreateNumericMatrix(rows, columns, mxDOUBLE_CLASS, complexity);
}

mxArray* mxCreateDoubleScalar(double value)
{
    mxArray* array = mxCreateDoubleMatrix(1, 1, mxREAL);
    if (array != nullptr) {
        array->real[0] = value;
    }
    return array;
}

mxArray* mxCreateString(const char* text)
{
    const std::size_t length = text != nullptr ? std::strlen(text) : 0;
    mxArray* array = newArray(ArrayClass::chars, length == 0 ? 0 : 1, length);
    if (array == nullptr) {
        return nullptr;
    }
    array->classId = mxCHAR_CLASS;
    if (length == 0) {
        return array;
    }
    array->chars = static_cast<mxChar*>(std::calloc(length, sizeof(mxChar)));
    if (array->chars == nullptr) {
        mxDestroyArray(array);
        return nullptr;
    }
    for (std::size_t i = 0; i < length; ++i) {
        array->chars[i] = static_cast<unsigned char>(text[i]);
    }
    return array;
}

mxArray* mxCreateLogicalScalar(bool value)
{
    mxArray* array = newArray(ArrayClass::logicals, 1, 1);
    if (array == nullptr) {
        return nullptr;
    }
    array->classId = mxLOGICAL_CLASS;
    array->logicals = static_cast<bool*>(std::calloc(1, sizeof(bool)));
    if (array->logicals == nullptr) {
        mxDestroyArray(array);
        return nullptr;
    }
    array->logicals[0] = value;
    return array;
}

void mxDestroyArray(mxArray* array)
{
    if (array == nullptr) {
        return;
    }
    std::free(array->real);
    std::free(array->imaginary);
    std::free(array->chars);
    std::free(array->logicals);
    std::free(array);
}

// ---- Emulated-host extensions ----------------------------------------------

void mxEmuReleaseCallMemory()
{
    while (callBlocks != nullptr) {
        CallBlock* next = callBlocks->next;
        std::free(callBlocks);
        callBlocks = next;
    }
}

void mxEmuFailCallocAfter(long successfulCalls)
{
    callocFailCountdown = successfulCalls;
    callocFailuresInjected = 0;
}

long mxEmuCallocFailuresInjected() { return callocFailuresInjected; }

void mxEmuFailNextArrayCreation() { failNextArray = true; }

}  // extern "C"
