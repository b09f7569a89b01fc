#ifndef KW_INSTALLER_DETECTOR_H
#define KW_INSTALLER_DETECTOR_H

#include <string>

#include <boost/shared_ptr.hpp>

#include "common/tinybind.h"

// Detectors find out a value about the system. An XML element describes one: its tag names the kind
// and its attributes configure it.
namespace Detecting {

class Detector {
public:
    // The detected text; found tells whether there was one. A detection never fails outward.
    virtual std::string detect(bool& found) = 0;
    virtual ~Detector();

    // The detector the element describes. A null element or a missing attribute raises tinybind::err,
    // an unknown tag the internal error.
    static boost::shared_ptr<Detector> create(const tinybind::element& element);
};

// The first value that the detectors described by the parent's children find, tried in document
// order; an empty text with found false when none finds one.
std::string detect(const tinybind::element& parent, bool& found);

}  // namespace Detecting

#endif
