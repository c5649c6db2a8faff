// libFuzzer target for the package loader (ckxDataPak::Package let).
//
// Each input is loaded into an object that already holds a known package.
//   accepted (ErrorNumber 0): writing the object back out gives the input's
//     bytes again, except the size field (bytes 4..7, which must then hold the
//     new length) and bytes after the last record, which the loader ignores.
//   refused: the error number is one of the package errors and the object still
//     writes exactly the package it held before.
//   fault (an exception): the object and its error number are as they were.
// Any mismatch aborts, so libFuzzer records the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>

#include "ckx_data_pak.h"

namespace {

using sorbel::ByteSpan;
using sorbel::Bytes;
using sorbel::ckxDataPak;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_package: %s\n", what);
    std::abort();
}

// The object every input is loaded over: a title, a category and records
// whose data holds every kind of byte, so that a refusal that half-changed it
// would show in its package.
const Bytes& KnownPackage() {
    static const Bytes package = [] {
        ckxDataPak pak;
        pak.Title(u"Known title");
        pak.Category(u"Known category");
        pak.AppendB(u"first", Bytes{0x00, 0xFF, 0x10});
        pak.AppendB(u"", Bytes{});
        pak.AppendB(u"first", Bytes{0x7F});
        return pak.Package();
    }();
    return package;
}

bool IsPackageError(std::int32_t error) {
    switch (error) {
    case sorbel::ckxDataPak_errPackageTooSmall:
    case sorbel::ckxDataPak_errPackageTypeInvalid:
    case sorbel::ckxDataPak_errPackageSizeInvalid:
    case sorbel::ckxDataPak_errPackageImcomplete:
    case sorbel::ckxDataPak_errPackageCorrupt:
        return true;
    default:
        return false;
    }
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

void CheckAccepted(const ckxDataPak& pak, ByteSpan input) {
    const Bytes out = pak.Package();
    if (out.size() < sorbel::kPackageHeaderSize) Fail("accepted package writes back fewer than 14 bytes");
    if (out.size() > input.size()) Fail("accepted package writes back more bytes than were loaded");
    if (static_cast<std::int64_t>(out.size()) != pak.Size()) Fail("Size differs from the written length");
    if (BigEndian32(out.data() + 4) != out.size()) Fail("written size field differs from the written length");
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (i >= 4 && i < 8) continue;
        if (out[i] != input[i]) Fail("accepted package writes back different bytes");
    }
    if (pak.ErrorNumber() != sorbel::ckxDataPak_errNoError) Fail("Package get changed the error number");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteSpan input(data, size);
    ckxDataPak pak;
    pak.Package(KnownPackage());
    if (pak.ErrorNumber() != sorbel::ckxDataPak_errNoError) Fail("the known package is refused");
    const Bytes before = pak.Package();
    if (before != KnownPackage()) Fail("the known package does not come back unchanged");

    // Leave a recognisable error number behind, so that a load that raises a
    // fault can be seen not to have touched it.
    pak.FindKey(u"no such key");
    const auto errorBefore = pak.ErrorNumber();

    try {
        pak.Package(input);
    } catch (const std::bad_alloc&) {
        if (pak.ErrorNumber() != errorBefore) Fail("out of memory changed the error number");
        if (pak.Package() != before) Fail("out of memory changed the object");
        return 0;
    } catch (const std::overflow_error&) {
        if (pak.ErrorNumber() != errorBefore) Fail("overflow changed the error number");
        if (pak.Package() != before) Fail("overflow changed the object");
        return 0;
    }

    // The header tests run first and in a fixed order, so their outcome is
    // known from the input alone.
    const auto error = pak.ErrorNumber();
    if (size < sorbel::kPackageHeaderSize) {
        if (error != sorbel::ckxDataPak_errPackageTooSmall) Fail("a short package is not refused as too small");
    } else if (BigEndian32(data) != static_cast<std::uint32_t>(sorbel::kPackageTypeId)) {
        if (error != sorbel::ckxDataPak_errPackageTypeInvalid) Fail("a wrong type is not refused as such");
    } else if (BigEndian32(data + 4) != size) {
        if (error != sorbel::ckxDataPak_errPackageSizeInvalid) Fail("a wrong size field is not refused as such");
    } else if (error != sorbel::ckxDataPak_errNoError && error != sorbel::ckxDataPak_errPackageImcomplete &&
               error != sorbel::ckxDataPak_errPackageCorrupt) {
        Fail("a package with a sound header is refused for its header");
    }

    if (error == sorbel::ckxDataPak_errNoError) {
        CheckAccepted(pak, input);
        // The written package loads again and writes identically.
        const Bytes once = pak.Package();
        ckxDataPak again;
        again.Package(once);
        if (again.ErrorNumber() != sorbel::ckxDataPak_errNoError) Fail("a written package is refused");
        if (again.Package() != once) Fail("a written package does not reload identically");
    } else {
        if (!IsPackageError(error)) Fail("refusal with an error number that is not a package error");
        if (pak.Package() != before) Fail("a refused package changed the object");
    }
    return 0;
}
