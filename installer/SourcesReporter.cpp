#include "installer/SourcesReporter.h"

#include <tinyxml.h>

#include "installer/SourceManager.h"
#include "installer/SourceZanth.h"

SourcesReporter::SourcesReporter(const SourceManager* sources_) : Reporter(0), sources(sources_) {}

std::ostream& SourcesReporter::put(std::ostream& out) const
{
    TiXmlElement list("sources");
    for (const auto& source : sources->getSources()) {
        const SourceZanth* product = dynamic_cast<const SourceZanth*>(source.get());
        if (!product)
            continue;
        if (!xmlOutput) {
            out << product->getSourceLine() << std::endl;
            continue;
        }
        TiXmlElement* element = new TiXmlElement("source");
        element->SetAttribute("persistent", product->isPersistent() ? 1 : 0);
        element->SetAttribute("configuration", product->getSourceLine());
        list.LinkEndChild(element);
    }
    if (xmlOutput)
        putXml(out, &list);
    return out;
}
