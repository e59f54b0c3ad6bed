#!/bin/bash
# What a host links against: the library's dynamic symbol table.  The entry
# points are plain C names; the glue is C++ in the global namespace with the
# exact parameter types hosts were built with.
set -euo pipefail

lib=$VELK_PLUGIN
symbols=$(nm -D --defined-only "$lib" | awk '{print $NF}')
passes=0
failures=0
expect() {
  if grep -qxF -- "$1" <<<"$symbols"; then
    passes=$((passes + 1))
  else
    echo "FAIL: $1 (${2:-}) is not exported"; failures=$((failures + 1))
  fi
}

for entry in Initialize PreProcess Process PostProcess Validate Commit \
             Uninitialize GetErrorMessage ReleaseErrorMessage \
             s___name s___version s___special; do
  expect "$entry"
done

while read -r mangled meaning; do
  [[ -z $mangled || $mangled == \#* ]] && continue
  expect "$mangled" "$meaning"
done <<'NAMES'
_Z3LogiPKcz                      Log(int, const char*, ...)
_Z4vLogiPKcP13__va_list_tag      vLog(int, const char*, va_list)
_Z6LogMsgPKci                    LogMsg(const char*, int)
_Z11SetLogLeveli                 SetLogLevel(int)
_Z5LogDBiPKc                     LogDB(int, const char*)
_Z18SetLoggerInterfacePK7ILogger SetLoggerInterface(const ILogger*)
_Z19SetSensorPolicyInfoPK17ISensorPolicyInfo SetSensorPolicyInfo(const ISensorPolicyInfo*)
_Z24SetCapabilitiesInterfacePK19ISensorCapabilities SetCapabilitiesInterface(const ISensorCapabilities*)
_Z15SCGetNumOfPortsv             SCGetNumOfPorts()
_Z10SCGetModelB5cxx11v           SCGetModel()
_Z16GetNamespaceInfoRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEES6_RS4_ GetNamespaceInfo(const std::string&, const std::string&, std::string&)
_Z13SCGetAVPValueRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERS4_ SCGetAVPValue(const std::string&, std::string&)
_ZN16ConfigParameters15m_pConfigParmIfE ConfigParameters::m_pConfigParmIf
_ZN16ConfigParameters18SetConfigInterfaceEPK17IConfigParameters ConfigParameters::SetConfigInterface
_ZN16ConfigParameters8GetValueEPKcRNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE ConfigParameters::GetValue(const char*, std::string&)
_ZN16ConfigParameters8GetValueEPKcRi ConfigParameters::GetValue(const char*, int&)
_ZN16ConfigParameters8GetValueEPKcRb ConfigParameters::GetValue(const char*, bool&)
_ZN16ConfigParameters18GetTuningParameterEPKcRNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE ConfigParameters::GetTuningParameter(const char*, std::string&)
_ZN16ConfigParameters18GetTuningParameterEPKcRi ConfigParameters::GetTuningParameter(const char*, int&)
_ZN16ConfigParameters18GetTuningParameterEPKcRb ConfigParameters::GetTuningParameter(const char*, bool&)
_ZN16ConfigParameters8ParseIntERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERi ConfigParameters::ParseInt
_ZN16ConfigParameters9ParseBoolERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERb ConfigParameters::ParseBool
_Z18ConvertUTF16toUTF8PPKtS0_PPhS2_15ConversionFlags ConvertUTF16toUTF8, buffer form
_Z18ConvertUTF16toUTF8PPKtS0_RNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEPm15ConversionFlags ConvertUTF16toUTF8, string form
NAMES

# No entry point may carry a C++ name as well.
if grep -qE '^_Z[0-9]+(Initialize|Process|Commit)' <<<"$symbols"; then
  echo "FAIL: an entry point is exported with C++ linkage"; failures=$((failures + 1))
else
  passes=$((passes + 1))
fi

echo "$passes passed, $failures failed"
[[ $failures -eq 0 ]]
