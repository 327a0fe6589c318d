# isa_seal.awk: reads `objdump -d -C -M intel --no-show-raw-insn` of one binary and prints each
# function outside the code built above the SSE2 baseline that holds an instruction the
# baseline processor lacks, with the first such instruction:
#     <function>\t<address>: <instruction>
#
# Variables (-v):
#   above   namespaces whose code may use more than SSE2, separated by spaces (velkano::avx2).
#           A function whose name mentions one of them (a function of it, a lambda or local
#           helper inside one, a template instantiated on its types) belongs to that code: no
#           baseline caller can reach it. So does a function whose name holds a vector of 256
#           bits or more (__m256i is `long long __vector(4)`): only such code passes one.
#           Every other function is checked, linked-in runtime too.
#
# An instruction counts as beyond the baseline when it is VEX or EVEX encoded (AVX, AVX2, FMA,
# F16C, AVX-512, BMI: a v-mnemonic, a ymm or zmm operand, a mask-register instruction, a BMI
# mnemonic) or belongs to SSE3, SSSE3, SSE4.1, SSE4.2, SSE4a, POPCNT, LZCNT, MOVBE, ADX, AES,
# PCLMUL or SHA. tzcnt is left out: GCC writes `rep bsf` for __builtin_ctz, which decodes as
# tzcnt and runs as bsf where BMI is missing.
function addAll(set, text,    words, i) {
    split(text, words, " ")
    for (i in words) set[words[i]] = 1
}

BEGIN {
    count = split(above, list, " ")
    for (i = 1; i <= count; i++) if (list[i] != "") aboveNamespaces[list[i] "::"] = 1

    # Virtualisation and segment checks: v-mnemonics that are not VEX encoded.
    addAll(notVex, "verr verw vmcall vmlaunch vmresume vmxoff vmxon vmread vmwrite vmptrld " \
                   "vmptrst vmclear vmfunc vmrun vmload vmsave vmmcall")
    # SSE3
    addAll(beyond, "addsubpd addsubps haddpd haddps hsubpd hsubps lddqu movddup movshdup " \
                   "movsldup fisttp monitor mwait")
    # SSSE3
    addAll(beyond, "pabsb pabsw pabsd palignr phaddw phaddd phaddsw phsubw phsubd phsubsw " \
                   "pmaddubsw pmulhrsw pshufb psignb psignw psignd")
    # SSE4.1
    addAll(beyond, "blendpd blendps blendvpd blendvps dppd dpps extractps insertps movntdqa " \
                   "mpsadbw packusdw pblendvb pblendw pcmpeqq pextrb pextrd pextrq phminposuw " \
                   "pinsrb pinsrd pinsrq pmaxsb pmaxsd pmaxud pmaxuw pminsb pminsd pminud " \
                   "pminuw pmovsxbw pmovsxbd pmovsxbq pmovsxwd pmovsxwq pmovsxdq pmovzxbw " \
                   "pmovzxbd pmovzxbq pmovzxwd pmovzxwq pmovzxdq pmuldq pmulld ptest roundpd " \
                   "roundps roundsd roundss")
    # SSE4.2, SSE4a
    addAll(beyond, "crc32 pcmpestri pcmpestrm pcmpistri pcmpistrm pcmpgtq extrq insertq " \
                   "movntsd movntss")
    # Bit counts, BMI1/BMI2 (VEX encoded), MOVBE, ADX
    addAll(beyond, "popcnt lzcnt andn bextr blsi blsmsk blsr bzhi mulx pdep pext rorx sarx " \
                   "shlx shrx movbe adcx adox")
    # AES, PCLMUL, SHA
    addAll(beyond, "aesenc aesenclast aesdec aesdeclast aesimc aeskeygenassist pclmulqdq " \
                   "sha1rnds4 sha1nexte sha1msg1 sha1msg2 sha256rnds2 sha256msg1 sha256msg2")
    # Prefixes objdump prints before the mnemonic.
    addAll(prefix, "rep repz repnz repe repne lock data16 data32 addr16 addr32 cs ds es ss fs " \
                   "gs notrack bnd xacquire xrelease {vex} {vex3} {evex}")
}

/^[0-9a-f]+ <.*>:$/ {
    name = $0
    sub(/^[0-9a-f]+ </, "", name)
    sub(/>:$/, "", name)
    checked = 1
    for (ns in aboveNamespaces) if (index(name, ns)) checked = 0
    if (name ~ /(long|double) __vector\((4|8)\)|(int|float) __vector\((8|16)\)|short __vector\((16|32)\)|char __vector\((32|64)\)/)
        checked = 0
    reported = 0
    next
}

!checked || reported { next }

/^ *[0-9a-f]+:\t/ {
    address = $1
    sub(/:$/, "", address)
    text = $0
    sub(/^ *[0-9a-f]+:\t/, "", text)
    operands = text
    sub(/[<#].*$/, "", operands)  # without the symbol a target or comment names
    count = split(operands, field, /[ \t,]+/)
    mnemonic = ""
    for (i = 1; i <= count; i++) if (field[i] != "" && !(field[i] in prefix) && field[i] !~ /^rex/) {
        mnemonic = field[i]
        break
    }
    if ((mnemonic ~ /^v/ && !(mnemonic in notVex)) || (mnemonic in beyond) ||
        mnemonic ~ /^k(add|and|andn|mov|not|or|ortest|shiftl|shiftr|test|unpck|xnor|xor)[bwdq]+$/ ||
        operands ~ /[yz]mm[0-9]/) {
        printf "%s\t%s: %s\n", name, address, text
        reported = 1
    }
}
