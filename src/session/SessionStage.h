#pragma once

namespace tomely {

// The stages of a publishing session, in the order they come. The last four come only when the
// service asks for part files, and a dry run stops after Fingerprinting.
enum class SessionStage {
    SigningIn,       // the sign-in call
    Opening,         // extracting the book into the work area and reading its GUID
    Listing,         // the list of the author's books
    Splitting,       // cutting every file of the book into part files
    Fingerprinting,  // fingerprinting the part files
    Comparing,       // the manifest call: which part files does the service lack?
    Compressing,     // preparing the uploads
    Uploading,       // sending them
};

// The stage's name where a program reads it, as the publisher's JSON events carry it:
// "signing-in", "opening", "listing", "splitting", "fingerprinting", "comparing", "compressing",
// "uploading".
[[nodiscard]] const char* stageName(SessionStage stage);

}  // namespace tomely
