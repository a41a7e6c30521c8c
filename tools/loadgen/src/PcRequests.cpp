#include "PcRequests.h"

namespace loadgen {

std::string VersionCheckDocument(const std::vector<std::string>& drivers, const std::string& region) {
    std::string doc =
        "<?xml version='1.0' ?><RequestInfo><FirmUpdateToolInfo><FirmCategory>ES_TOOL</FirmCategory>"
        "<OS>WIN</OS><Area>ALL</Area><InspectMode>0</InspectMode></FirmUpdateToolInfo><ModelInfo>";
    for (const std::string& driver : drivers)
        doc += "<Model><Name>" + driver + "</Name><Spec>" + region + "</Spec></Model>";
    return doc + "</ModelInfo></RequestInfo>";
}

std::string FileUpdateDocument(const OfferedFirm& firm) {
    return "<?xml version='1.0' ?><RequestInfo><FirmUpdateToolInfo><FirmCategory></FirmCategory><OS>WIN</OS>"
           "<Area>ALL</Area><InspectMode>0</InspectMode></FirmUpdateToolInfo><FirmUpdateInfo><Model>"
           "<SelialNo></SelialNo><Name>" +
           firm.model + "</Name><Spec>" + firm.spec + "</Spec><Driver>Corvane " + firm.model +
           "</Driver><Firm><Category>" + firm.category + "</Category><Id>" + firm.id +
           "</Id><Version>0</Version></Firm></Model><DriverCnt></DriverCnt><LogNo>2</LogNo>"
           "<NeedResponse>1</NeedResponse></FirmUpdateInfo></RequestInfo>";
}

std::string PostRequest(const std::string& host, const std::string& path, const std::string& caseKey,
                        const std::string& body) {
    return "POST " + path + "?case=" + caseKey + " HTTP/1.1\r\nHost: " + host +
           "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string GetRequest(const std::string& host, const std::string& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
}

std::string VersionCheckCase(const std::string& region) { return "vc-" + region; }

std::string FileUpdateCase(const OfferedFirm& firm) {
    return "fu-" + firm.model + "-" + firm.id + "-" + firm.spec;
}

}  // namespace loadgen
