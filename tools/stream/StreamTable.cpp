#include "tools/stream/StreamTable.h"

#include "platform/NumberText.h"

#include <initializer_list>

namespace vx {

void WriteStreamHeader(std::ostream& out) {
    out << "packet\taccepted\tvalid\tmagnitude\tdirection\tu\tv\tw\tgust\tvec_speed\tsca_speed"
           "\tvec_dir\tsca_dir\tmax_gust\tmin_gust\tmin_mag\tmax_mag\tmin_dir\tmax_dir"
           "\text_dir\n";
}

void WriteStreamRow(std::ostream& out, std::int64_t packetNumber, const PacketResult& result,
                    const WindConnection& connection) {
    const WindSample& s = connection.Sample();
    const WindAverages& a = connection.Averages();
    const MinMax& m = connection.Extremes();
    out << packetNumber << '\t' << (result.accepted ? 1 : 0) << '\t' << (result.valid ? 1 : 0);
    for (double value :
         {s.magnitude, s.direction, s.u, s.v, s.w, connection.Gust(), a.vectorSpeed, a.scalarSpeed,
          a.vectorDirection, a.scalarDirection, a.maxGust, a.minGust, m.minMagnitude,
          m.maxMagnitude, m.minDirection, m.maxDirection, connection.ExtendedDirectionValue()}) {
        out << '\t' << FormatFixed(value, 6);
    }
    out << '\n';
}

}  // namespace vx
