# cmake -DDIR=folder -DFILES=a,b -P Sha256Sums.cmake: writes DIR/SHA256SUMS,
# a line for each file as sha256sum writes them (the sum, two spaces, the name),
# for `sha256sum -c SHA256SUMS` in that folder.
string(REPLACE "," ";" files "${FILES}")
set(sums "")
foreach(f ${files})
    file(SHA256 ${DIR}/${f} sum)
    string(APPEND sums "${sum}  ${f}\n")
endforeach()
file(WRITE ${DIR}/SHA256SUMS.new "${sums}")
file(RENAME ${DIR}/SHA256SUMS.new ${DIR}/SHA256SUMS)
