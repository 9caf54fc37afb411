# The NeQuick a priori ionosphere on top of every model: slant content of every ray.
s/^  model_apriori_iono = \.false\./  model_apriori_iono = .true./
s/^  apriori_iono_model_name = 'N'/  apriori_iono_model_name = 'n'/
s/^  stec_from_apriori_iono_rt = \.false\./  stec_from_apriori_iono_rt = .true./
