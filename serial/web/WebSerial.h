#pragma once
// What the page's serial backends share.
namespace tavrick {

// Lets go of the send under way, if any (see SerialWriter.cpp).
void webSerialDetach();

}  // namespace tavrick
