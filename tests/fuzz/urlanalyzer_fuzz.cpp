// The URL analyzer: every range it gives must lie inside the text and the
// parts must come in order.

#include "fuzzsupport.h"
#include "http/urlanalyzer.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view url = quaylet::fuzz::AsText(data, size);
    Velto::CHttpUrlAnalyzerT analyzer;
    analyzer.Analyze(url);
    using Range = Velto::CHttpUrlAnalyzerT::Range;
    uint64_t previousEnd = 0;
    for (const Range* range : {&analyzer.Scheme(), &analyzer.Host(), &analyzer.Port(), &analyzer.Path(),
                               &analyzer.ExtraInfo(), &analyzer.Fragment()}) {
        const uint64_t end = uint64_t{range->offset} + range->length;
        if (end > url.size())
            std::abort();
        if (!range->empty()) {
            if (range->offset < previousEnd)
                std::abort();
            previousEnd = end;
        }
        range->in(url);
    }
    return 0;
}
